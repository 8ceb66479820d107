#!/usr/bin/env bash
# Runs the README's planning example with korvel-sweep and the real
# simulation program, and renders its curve.svg to PNG with headless
# Chromium, so that a person can check that the figure looks right (and
# docs/sweep-example.png can be refreshed from it).
#
#   tools/sweep/figure_check.sh [OUTPUT_FOLDER]
#
# Environment: KORVEL_SWEEP and KORVEL name ready-built programs; without
# them both are built in build-figure/ under the checkout.
# Prints the path of the PNG. Not part of the test suite.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/build-figure/figure-check}
mkdir -p "$out"
out=$(cd "$out" && pwd)

if [ ! -x /usr/bin/chromium ]; then
  echo "figure-check: installing chromium" >&2
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends chromium
fi

sweep=${KORVEL_SWEEP:-}
korvel=${KORVEL:-}
if [ -z "$sweep" ] || [ -z "$korvel" ]; then
  build=$root/build-figure
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_TESTS=OFF >/dev/null
  cmake --build "$build" --target korvel korvel-sweep -j"$(nproc)" >/dev/null
  sweep=${sweep:-$build/korvel-sweep}
  korvel=${korvel:-$build/korvel}
fi

# The planning example: 6 loci, 4 subpopulations of effective size 1000,
# 200 runs per point, three sample sizes.
cat >"$out/EXAMPLE.IN" <<'EOF'
Planning example: 6 loci, 4 subpopulations, Ne = 1000
(each point of the sweep replaces this line with its own description)
1000 100 200       exact test: dememorization steps, batches, steps per batch
1 1                chi-square test (1 = on), exact test (1 = on)
1                  1 = delete the detailed output files at the end
---------------------------------------------------------------------
6                  number of loci
4                  number of subpopulations
1000               effective size during drift (diploid individuals)
10                 generations of drift (each point sets its own)
30 30 30 30        diploid sample size of each subpopulation
200                number of replicate runs
---------------------------------------------------------------------
alleles  frequencies (one line per locus; they must sum to 1)
4  0.25 0.25 0.25 0.25
4  0.4 0.3 0.2 0.1
5  0.2 0.2 0.2 0.2 0.2
3  0.6 0.3 0.1
2  0.5 0.5
6  0.35 0.25 0.15 0.1 0.1 0.05
EOF

"$sweep" --force --out "$out/plan" --program "$korvel" \
  --fst 0.001,0.0025,0.005,0.01 --sample-sizes 20,50,100 --seed 2026 \
  --title "Which sample size detects F'st = 0.005 with 80 % power?" "$out/EXAMPLE.IN"

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
/usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size=820,"$(sed -n 's/.*<svg [^>]*height="\([0-9]*\).*/\1/p' "$out/plan/curve.svg")" \
  --screenshot="$out/curve.png" "file://$out/plan/curve.svg" >"$out/chromium.log" 2>&1
test -s "$out/curve.png"
echo "$out/curve.png"

#!/usr/bin/env bash
# Builds an example power curve with korvel-sweep and the real simulation
# program, and renders its curve.svg to PNG with headless Chromium, so that
# a person can check that the figure looks right.
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
  sweep=${sweep:-$build/tools/korvel-sweep}
  korvel=${korvel:-$build/korvel}
fi

# A modest study: 6 loci, 4 subpopulations of effective size 1000, samples
# of 30 diploids, 200 runs per point.
cat >"$out/EXAMPLE.IN" <<'EOF'
Power curve example for the figure check
6 loci, 4 subpopulations, Ne = 1000, samples of 30 diploids
500 10 200         exact test: dememorization steps, batches, steps per batch
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

"$sweep" --force --out "$out/curve" --program "$korvel" \
  --fst 0.0005,0.001,0.002,0.004,0.006,0.008,0.012,0.016 "$out/EXAMPLE.IN"

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
/usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size=760,520 \
  --screenshot="$out/curve.png" "file://$out/curve/curve.svg" >"$out/chromium.log" 2>&1
test -s "$out/curve.png"
echo "$out/curve.png"

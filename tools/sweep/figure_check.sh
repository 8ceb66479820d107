#!/usr/bin/env bash
# Runs the README's planning example with korvel-sweep and the real
# simulation program and has it write its figures as PNG, so that a person
# can check that they look right (docs/sweep-example.png is the one against
# sample size).
#
#   tools/sweep/figure_check.sh [OUTPUT_FOLDER]
#
# Environment: KORVEL_SWEEP and KORVEL name ready-built programs; without
# them both are built in build-figure/ under the checkout.
# Prints the paths of the PNGs. Not part of the test suite.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-$root/build-figure/figure-check}
mkdir -p "$out"
out=$(cd "$out" && pwd)

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

"$sweep" --force --out "$out/plan" --program "$korvel" --figure png,svg \
  --fst 0.001,0.0025,0.005,0.01 --sample-sizes 20,50,100 --seed 2026 \
  --title "Which sample size detects F'st = 0.005 with 80 % power?" "$out/EXAMPLE.IN" ||
  [ $? = 3 ] # F'st 0.001 is not reached by 100 individuals: a flagged answer, not a failure
test -s "$out/plan/power-by-sample-size.png"
echo "$out/plan/power-by-sample-size.png"
echo "$out/plan/curve.png"

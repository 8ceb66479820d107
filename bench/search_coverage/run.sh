#!/usr/bin/env bash
# Does korvel-sweep --find give the true smallest sample size, and does its
# 95 % interval hold it? For each design of this folder (SNP panels with a
# rare-allele spectrum and with common alleles, microsatellites, 2 to 20
# populations, answers near the bottom of the range and far up, both
# tests):
#  - the truth by brute force: a grid of long runs (COVERAGE_TRUTH_RUNS per
#    sample size) at every n around the crossing (every STEP-th far up,
#    where the tolerance is wider than the step), kept in cache/ so that
#    later runs only search;
#  - the search with COVERAGE_SEEDS seeds, 100 runs per batch, range 2..300;
# and prints per design the share of seeds whose interval holds the true
# answer and whose answer is within the tolerance (max(1, 5 % of the
# truth)), with the median runs and wall time of a search. It reports; it
# never fails on the shares.
#
#   BUILD=DIR                 build folder with korvel and korvel-sweep (default build/bench)
#   COVERAGE_SEEDS=20         searches per design
#   COVERAGE_TRUTH_RUNS=2000  runs per sample size of the brute-force grid
#   COVERAGE_DESIGNS="a b"    only these designs
#   COVERAGE_RESULTS=FILE     keep one line per search there (default: scratch)
#   COVERAGE_BASELINE=PATH    also run this (older) korvel-sweep with the first
#   COVERAGE_BASELINE_SEEDS=N of the same seeds (default all)
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
BUILD="${BUILD:-$ROOT/build/bench}"
SEEDS="${COVERAGE_SEEDS:-20}"
TRUTH_RUNS="${COVERAGE_TRUTH_RUNS:-2000}"
BASELINE="${COVERAGE_BASELINE:-}"
BASELINE_SEEDS="${COVERAGE_BASELINE_SEEDS:-$SEEDS}"
JOBS="${JOBS:-2}"
RANGE=2,300

# name, F'st, test (its column in curve.csv)
ALL_DESIGNS=(
  "msat-20pop 0.01 chi2"
  "snp-rare-4pop 0.01 chi2"
  "msat-6pop 0.005 chi2"
  "msat-exact 0.01 exact"
  "snp-2pop 0.005 chi2"
)

if [ ! -x "$BUILD/korvel-sweep" ] || [ ! -x "$BUILD/korvel" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j "$JOBS" --target korvel korvel-sweep >/dev/null
fi

SCRATCH_BASE=/dev/shm
[ -d "$SCRATCH_BASE" ] || SCRATCH_BASE="${TMPDIR:-/tmp}"
SCRATCH="$(mktemp -d "$SCRATCH_BASE/korvel-coverage.XXXXXX")"
trap 'rm -rf "$SCRATCH"' EXIT
mkdir -p "$HERE/cache"

seconds() { date +%s.%N; }

# One search: prints "answer low high status runs seconds" (answer, low and
# high "-" when there is none).
search() {
  local sweep="$1" design="$2" fst="$3" test="$4" seed="$5" out="$6" start
  start=$(seconds)
  "$sweep" --find sample-size --fst "$fst" --range "$RANGE" --runs 100 --seed "$seed" --jobs "$JOBS" \
    --program "$BUILD/korvel" --out "$out" "$HERE/$design.in" >/dev/null 2>&1 || true
  python3 "$HERE/summarise.py" search "$out" "$test" "$(awk -v a="$start" -v b="$(seconds)" 'BEGIN { print b - a }')"
}

# A brute-force grid of the sizes in the list: appends n,runs,significant.
grid() {
  local design="$1" fst="$2" test="$3" sizes="$4" cache="$5"
  rm -rf "$SCRATCH/truth"
  "$BUILD/korvel-sweep" --fst "$fst" --sample-sizes "$sizes" --runs "$TRUTH_RUNS" --no-null --seed 424242 \
    --jobs "$JOBS" --program "$BUILD/korvel" --out "$SCRATCH/truth" "$HERE/$design.in" >/dev/null 2>&1 || true
  python3 "$HERE/summarise.py" truth "$SCRATCH/truth/curve.csv" "$test" | tail -n +2 >>"$cache"
}

# The brute-force truth of a design, computed once: a grid around where a
# first search puts the answer, widened upwards until it holds the
# crossing.
truth() {
  local design="$1" fst="$2" test="$3" cache="$HERE/cache/$1.csv" answer lo hi step
  [ -s "$cache" ] && return
  rm -rf "$SCRATCH/pilot"
  read -r answer _ < <(search "$BUILD/korvel-sweep" "$design" "$fst" "$test" 1 "$SCRATCH/pilot")
  [ "$answer" = "-" ] && answer=20
  lo=$(( answer * 6 / 10 )); [ "$lo" -lt 2 ] && lo=2
  hi=$(( answer * 16 / 10 + 2 ))
  step=$(( answer / 40 )); [ "$step" -lt 1 ] && step=1
  echo "  $design: brute force at n = $lo..$hi step $step, $TRUTH_RUNS runs each" >&2
  echo "n,runs,significant" >"$cache.part"
  grid "$design" "$fst" "$test" "$(seq -s, "$lo" "$step" "$hi")" "$cache.part"
  while ! python3 "$HERE/summarise.py" holds "$cache.part" && [ "$hi" -lt 300 ]; do
    echo "  $design: the crossing lies above $hi; brute force up to $(( hi * 3 / 2 ))" >&2
    grid "$design" "$fst" "$test" "$(seq -s, $(( hi + step )) "$step" $(( hi * 3 / 2 )))" "$cache.part"
    hi=$(( hi * 3 / 2 ))
  done
  mv "$cache.part" "$cache"
}

RESULTS="${COVERAGE_RESULTS:-$SCRATCH/results.txt}"
: >"$RESULTS"
for entry in "${ALL_DESIGNS[@]}"; do
  read -r design fst test <<<"$entry"
  if [ -n "${COVERAGE_DESIGNS:-}" ] && [[ " $COVERAGE_DESIGNS " != *" $design "* ]]; then continue; fi
  truth "$design" "$fst" "$test"
  for ((seed = 1; seed <= SEEDS; ++seed)); do
    echo "$design $fst $test new $(search "$BUILD/korvel-sweep" "$design" "$fst" "$test" "$seed" "$SCRATCH/s")" >>"$RESULTS"
    rm -rf "$SCRATCH/s"
    if [ -n "$BASELINE" ] && [ "$seed" -le "$BASELINE_SEEDS" ]; then
      echo "$design $fst $test old $(search "$BASELINE" "$design" "$fst" "$test" "$seed" "$SCRATCH/s")" >>"$RESULTS"
      rm -rf "$SCRATCH/s"
    fi
  done
done
python3 "$HERE/summarise.py" table "$RESULTS" "$HERE/cache"

#!/usr/bin/env bash
# make exact-settings: the false-positive rate of the two combined tests on a
# SNP panel under no drift, for several exact-test chain settings. Prints
# the table of the README section "Choosing the exact test's settings".
#
#   EXACT_RUNS=200      replicate runs per setting
#   EXACT_LOCI=300      biallelic loci
#   EXACT_MAF="50 500"  their minor-allele frequencies, spread evenly from the
#                       first to the second, in thousandths ("2 30": a panel
#                       of rare loci, as korvel-init's note on them says)
#   EXACT_SEED=2026     KORVEL_SEED of every run: the same samples in every
#                       setting, so the rows differ only in the chain
#   EXACT_SETTINGS="100 10 100;1000 20 500;1000 100 200"
#   JOBS=2              build jobs and settings run at the same time
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/release"
RUNS="${EXACT_RUNS:-200}"
LOCI="${EXACT_LOCI:-300}"
read -r MAF_LOW MAF_HIGH <<<"${EXACT_MAF:-50 500}"
SEED="${EXACT_SEED:-2026}"
SETTINGS="${EXACT_SETTINGS:-100 10 100;1000 20 500;1000 100 200}"
JOBS="${JOBS:-2}"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target korvel-ml >/dev/null

SCRATCH_BASE=/dev/shm
[ -d "$SCRATCH_BASE" ] || SCRATCH_BASE="${TMPDIR:-/tmp}"
SCRATCH="$(mktemp -d "$SCRATCH_BASE/korvel-exact.XXXXXX")"
trap 'rm -rf "$SCRATCH"' EXIT

# KORVEL.IN for one chain setting: LOCI SNPs, 6 populations, samples of 30,
# no drift, both tests.
write_input() {
  local iterations="$1" l p
  printf 'SNP panel under no drift: %s loci, 6 populations, samples of 30\r\n' "$LOCI"
  printf 'exact test %s\r\n' "$iterations"
  printf '%s   exact test\r\n1 1\r\n0\r\n--\r\n%s\r\n6\r\n100\r\n0\r\n' "$iterations" "$LOCI"
  printf '30 30 30 30 30 30\r\n%s\r\n--\r\n--\r\n' "$RUNS"
  for ((l = 0; l < LOCI; ++l)); do
    p=$((MAF_LOW + (l * 37) % (MAF_HIGH - MAF_LOW + 1)))  # thousandths
    printf '2 0.%03d 0.%03d\r\n' "$p" "$((1000 - p))"
  done
}

run_setting() {
  local iterations="$1" dir="$SCRATCH/$(echo "$1" | tr ' ' '-')" start end
  mkdir -p "$dir"
  write_input "$iterations" >"$dir/KORVEL.IN"
  start=$(date +%s.%N)
  (cd "$dir" && KORVEL_SEED="$SEED" "$BUILD/korvel-ml" >/dev/null 2>stderr.txt)
  end=$(date +%s.%N)
  echo "$end - $start" | bc >"$dir/seconds"
}

IFS=';' read -r -a LIST <<<"$SETTINGS"
for iterations in "${LIST[@]}"; do
  run_setting "$iterations" &
  while (($(jobs -r | wc -l) >= JOBS)); do wait -n; done
done
wait

printf '| chain (dememorization / batches / steps) | counted steps | loci with P = 0 | chi-square rejects | exact test rejects | time |\n'
printf '|---|---|---|---|---|---|\n'
for iterations in "${LIST[@]}"; do
  dir="$SCRATCH/$(echo "$iterations" | tr ' ' '-')"
  read -r dem batches steps <<<"$iterations"
  # The total row: Tot *** runs #chi2 chi2 #fisher fisher
  read -r _ _ runs chi2_n chi2 fisher_n fisher < <(tr -d '\r' <"$dir/KORVEL.OUT" | grep '^  Tot')
  # Loci whose estimate was 0: exact from the warning, else counted in LOCUSTST.OUT
  zero=$(sed -n 's/.*warning: \([0-9]* of [0-9]*\) tested loci (\([^)]*\)).*/\1 (\2)/p' "$dir/stderr.txt")
  if [ -z "$zero" ]; then
    zero="$(awk 'NR > 2 && $6 == "0.0000" { n++ } NR > 2 { t++ } END { printf "%d of %d", n, t }' \
      "$dir/LOCUSTST.OUT") (P printed as 0.0000)"
  fi
  printf '| %s / %s / %s | %s | %s | %s of %s (%s) | %s of %s (%s) | %.0f s |\n' "$dem" "$batches" "$steps" \
    "$((batches * steps))" "$zero" "$chi2_n" "$runs" "$chi2" "$fisher_n" "$runs" "$fisher" "$(cat "$dir/seconds")"
done

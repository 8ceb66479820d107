#!/usr/bin/env bash
# make init-bench: korvel-init on a large VCF against bcftools reading the
# same file: peak memory (maximum resident set, /usr/bin/time -v) and wall
# time. korvel-init keeps --max-loci loci chosen at random while reading,
# so its memory should not grow with the sites read. Reports only.
#
#   INIT_BENCH_SITES=10000000   sites of the made file (default 1000000)
#   INIT_BENCH_SAMPLES=100      diploid samples (default 100)
#   INIT_BENCH_LOCI=5000        --max-loci (default 5000)
#   JOBS=2                      build jobs
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/bench"
SITES="${INIT_BENCH_SITES:-1000000}"
SAMPLES="${INIT_BENCH_SAMPLES:-100}"
LOCI="${INIT_BENCH_LOCI:-5000}"
JOBS="${JOBS:-2}"

for tool in bcftools bgzip /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "init-bench needs $tool (apt-get install bcftools tabix time)" >&2; exit 1; }
done

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target korvel-init >/dev/null

SCRATCH_BASE=/dev/shm
[ -d "$SCRATCH_BASE" ] || SCRATCH_BASE="${TMPDIR:-/tmp}"
SCRATCH="$(mktemp -d "$SCRATCH_BASE/korvel-init-bench.XXXXXX")"
trap 'rm -rf "$SCRATCH"' EXIT
DATA="$SCRATCH/big.vcf.gz"
echo "making $SITES sites x $SAMPLES samples ..."
"$ROOT/bench/make_big_vcf.sh" "$SITES" "$SAMPLES" "$DATA"
echo "file: $(du -h "$DATA" | cut -f1) bgzipped"

# Prints "wall_seconds peak_kB" of one run of the command.
measure() {
  local log="$SCRATCH/time.log"
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { echo "failed: $*" >&2; tail -5 "$log" >&2; exit 1; }
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + t[i] }
              /Maximum resident set size/ { kb = $2 }
              END { printf "%.2f %d\n", s, kb }' "$log"
}

printf '%-44s %10s %12s\n' "run ($SITES sites, $SAMPLES samples)" "wall (s)" "peak (MB)"
row() {
  local name="$1"; shift
  read -r wall kb < <(measure "$@")
  printf '%-44s %10s %12.1f\n' "$name" "$wall" "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')"
}
row "bcftools view -Ou -o /dev/null" bcftools view -Ou -o /dev/null "$DATA"
row "korvel-init --max-loci $LOCI --seed 1" "$BUILD/korvel-init" --max-loci "$LOCI" --seed 1 --force -o "$SCRATCH/KORVEL.IN" "$DATA"
row "korvel-init --max-loci $LOCI (the first)" "$BUILD/korvel-init" --max-loci "$LOCI" --force -o "$SCRATCH/KORVEL.IN" "$DATA"

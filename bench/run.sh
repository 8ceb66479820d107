#!/usr/bin/env bash
# make bench: builds the programs and the micro-benchmarks in Release,
# times the workloads (median wall time of several seeded runs in a scratch
# folder under /dev/shm) and prints one table with the micro-figures. The
# three small workloads run on one thread; the two study-sized panels and
# the pairwise and msat4 designs run on one thread and on every core, in
# alternation, and the table shows the speed-up and the parallel
# efficiency. Last, the exact test's chain over table shapes, per chain
# form. A benchmark reports; it never fails on time.
#
#   BENCH_REPEATS=5          runs per workload (default 3)
#   BENCH_SEED=12345         generator seed of every run
#   BENCH_BASELINE=DIR       also time DIR/korvel-seeded and DIR/korvel-ml-seeded
#                            (an older build) and show the speed-up
#   BENCH_PANEL_REPEATS=3    runs per panel and thread count (default 3)
#   BENCH_SHAPE_TIME=0.1     seconds per cell of the shape table and chain form
#   JOBS=2                   build jobs
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/bench"
REPEATS="${BENCH_REPEATS:-3}"
PANEL_REPEATS="${BENCH_PANEL_REPEATS:-3}"
CORES="$(nproc)"
SEED="${BENCH_SEED:-12345}"
BASELINE="${BENCH_BASELINE:-}"
JOBS="${JOBS:-2}"

# The table is assembled by a short Python script; Python comes from
# Debian's packages on a machine that lacks it.
if ! command -v python3 >/dev/null 2>&1; then
  apt-get update -qq && apt-get install -y -qq python3 >/dev/null
fi

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF -DKORVEL_BENCH=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target korvel-seeded korvel-ml-seeded korvel_micro_bench >/dev/null

SCRATCH_BASE=/dev/shm
[ -d "$SCRATCH_BASE" ] || SCRATCH_BASE="${TMPDIR:-/tmp}"
SCRATCH="$(mktemp -d "$SCRATCH_BASE/korvel-bench.XXXXXX")"
trap 'rm -rf "$SCRATCH"' EXIT

# Wall time in seconds of one run of PROGRAM on WORKLOAD with THREADS.
one_time() {
  local program="$1" workload="$2" threads="$3" start end
  rm -rf "$SCRATCH/run" && mkdir "$SCRATCH/run"
  cp "$ROOT/bench/workloads/$workload/KORVEL.IN" "$SCRATCH/run/"
  start=$(date +%s.%N)
  (cd "$SCRATCH/run" && KORVEL_THREADS="$threads" "$program" "$SEED" >/dev/null </dev/null) ||
    echo "warning: $program exited with $? on $workload" >&2
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

median() { sort -g | awk '{ t[NR] = $1 } END { printf "%.2f", (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }

# Median wall time in seconds of REPEATS single-threaded runs.
median_time() {
  local program="$1" workload="$2" k
  for ((k = 0; k < REPEATS; ++k)); do
    one_time "$program" "$workload" 1
    echo
  done | median
}

RESULTS="$SCRATCH/workloads.txt"
: >"$RESULTS"
for workload in msat snp drift; do
  program=korvel-seeded
  [ "$workload" = snp ] && program=korvel-ml-seeded
  echo "timing $workload ($REPEATS runs) ..." >&2
  now=$(median_time "$BUILD/$program" "$workload")
  before=-
  if [ -n "$BASELINE" ]; then
    before=$(median_time "$BASELINE/$program" "$workload")
  fi
  echo "$workload $program $now $before" >>"$RESULTS"
done

# The panels: one thread and every core, run in turn so that both see the
# same load of the machine.
PANELS="$SCRATCH/panels.txt"
: >"$PANELS"
for workload in snp-panel msat-panel pairwise msat4; do
  program=korvel-seeded
  [ "$workload" = snp-panel ] && program=korvel-ml-seeded
  echo "timing $workload on 1 and $CORES threads ($PANEL_REPEATS runs each) ..." >&2
  single=() all=()
  for ((k = 0; k < PANEL_REPEATS; ++k)); do
    single+=("$(one_time "$BUILD/$program" "$workload" 1)")
    all+=("$(one_time "$BUILD/$program" "$workload" "$CORES")")
  done
  one=$(printf '%s\n' "${single[@]}" | median)
  many=$(printf '%s\n' "${all[@]}" | median)
  runs=$(awk 'NR == 12 { print $1 }' "$ROOT/bench/workloads/$workload/KORVEL.IN")
  echo "$workload $program $one $many $CORES $runs" >>"$PANELS"
done

echo "running the micro-benchmarks ..." >&2
"$BUILD/bench/korvel_micro_bench" --benchmark_filter='-^BM_(ChainShape|Workload)' --benchmark_min_time=0.5 \
  --benchmark_format=json --benchmark_out="$SCRATCH/micro.json" --benchmark_out_format=json >/dev/null 2>&1
# The exact tests of the pairwise and msat4 designs on every core against
# the straightforward path on one thread (wall time, one run of each).
"$BUILD/bench/korvel_micro_bench" --benchmark_filter='^BM_Workload' --benchmark_min_time=0.05 \
  --benchmark_format=json --benchmark_out="$SCRATCH/designs.json" --benchmark_out_format=json >/dev/null 2>&1

python3 - "$RESULTS" "$SCRATCH/micro.json" "$REPEATS" "$SEED" "$PANELS" "$PANEL_REPEATS" "$SCRATCH/designs.json" <<'PY'
import json, sys

results, micro, repeats, seed, panels, panel_repeats, designs = sys.argv[1:8]
ns = {}
for b in json.load(open(micro))["benchmarks"] + json.load(open(designs))["benchmarks"]:
    if b.get("run_type", "iteration") != "iteration":
        continue
    per_item = 1e9 / b["items_per_second"] if b.get("items_per_second") else float("nan")
    ns[b["name"]] = per_item

def row(label, value, note=""):
    print(f"| {label:<58} | {value:>12} | {note:<40} |")

print(f"| {'KORVEL benchmark (Release, seed ' + seed + ')':<58} | {'':>12} | {'':<40} |")
print(f"|{'-' * 60}|{'-' * 14}|{'-' * 42}|")
for line in open(results):
    workload, program, now, before = line.split()
    note = ""
    if before != "-":
        note = f"before {before} s, {float(before) / float(now):.1f}x faster"
    row(f"workload {workload} ({program}), median of {repeats}", f"{now} s", note)

for line in open(panels):
    workload, program, one, many, cores, runs = line.split()
    one, many, cores, runs = float(one), float(many), int(cores), int(runs)
    speedup = one / many
    row(f"workload {workload} ({program}), 1 thread", f"{one:.2f} s",
        f"{one / runs:.2f} s per replicate, median of {panel_repeats}")
    row(f"workload {workload}, {cores} threads", f"{many:.2f} s",
        f"speed-up {speedup:.2f}x, efficiency {100 * speedup / cores:.0f} %")
    if workload == "snp-panel":
        row("  1000 replicates of the snp-panel design, all cores", f"{1000 * many / runs / 60:.1f} min", "")

raw = ns.get("BM_RawStdMt19937", float("nan"))
row("raw std::mt19937, one output", f"{raw:.2f} ns", "the yardstick of the ratios below")
row("program-wide MT19937 (block generation), one output", f"{ns.get('BM_BlockMt19937', float('nan')):.2f} ns",
    f"{ns.get('BM_BlockMt19937', float('nan')) / raw:.2f}x raw std::mt19937")
for name, label in [("pops:6/loci:20/alleles:10/diploids:1000", "msat drift, 10 alleles"),
                    ("pops:4/loci:100/alleles:2/diploids:500", "snp drift, 2 alleles"),
                    ("pops:10/loci:10/alleles:4/diploids:5000", "drift, 4 alleles"),
                    ("pops:6/loci:20/alleles:100/diploids:50", "100 alleles, samples of 50")]:
    fast = ns.get("BM_SampleAlleles/" + name, float("nan"))
    plain = ns.get("BM_SampleAllelesStraightforward/" + name, float("nan"))
    row(f"SAMPLE_ALLELES per gene copy: {label}", f"{fast:.2f} ns",
        f"{fast / raw:.2f}x raw; straightforward {plain:.1f} ns")
for name, label in [("rows:6/columns:10", "6 x 10 table"), ("rows:5/columns:2", "5 x 2 table")]:
    fast = ns.get("BM_ChainStep/" + name, float("nan"))
    plain = ns.get("BM_ChainStepStraightforward/" + name, float("nan"))
    row(f"exact test, Markov-chain step: {label}", f"{fast:.1f} ns",
        f"{plain / fast:.1f}x faster than straightforward {plain:.0f} ns")
row("exact test, draws made a block at a time, per draw", f"{ns.get('BM_ChainBlockOfDraws', float('nan')):.2f} ns",
    "included in the step figures above")
for name, label in [("rows:6/columns:10", "6 x 10 table"), ("rows:5/columns:2", "5 x 2 table")]:
    row(f"exact test, switches chosen ahead, per draw: {label}",
        f"{ns.get('BM_ChainBlockOfSwitches/' + name, float('nan')):.2f} ns", "included in the step figures above")
for name, label in [("samples:2/alleles:2/loci:20", "pairwise (2 x 2, 20 SNPs)"),
                    ("samples:6/alleles:4/loci:10", "msat4 (6 x 4, 10 loci)")]:
    fast = ns.get("BM_WorkloadExactTests/" + name + "/real_time", float("nan"))
    plain = ns.get("BM_WorkloadExactTestsStraightforward/" + name + "/real_time", float("nan"))
    row(f"exact tests of a replicate, {label}, all cores", f"{fast:.1f} ns",
        f"per step; {plain / fast:.0f}x the straightforward {plain:.0f} ns")
for name, label in [("rows:6/columns:10/short_chain:0", "6 x 10, 2 steps"),
                    ("rows:5/columns:2/short_chain:0", "5 x 2, 2 steps"),
                    ("rows:6/columns:10/short_chain:1", "6 x 10, 100/10/100"),
                    ("rows:5/columns:2/short_chain:1", "5 x 2, 100/10/100")]:
    row(f"exact test, one locus's chain: {label}", f"{ns.get('BM_ChainSetUp/' + name, float('nan')) / 1000:.1f} us",
        "seeding, blocks, table and hand-back included")
fast = ns.get("BM_ChainSeeding", float("nan"))
plain = ns.get("BM_ChainSeedingStraightforward", float("nan"))
row("exact test, seeding its generator (per tested locus)", f"{fast / 1000:.1f} us",
    f"straightforward {plain / 1000:.1f} us")
PY

# The shape table: the chain's cost per step over samples x alleles under
# every chain form this processor runs, beside the straightforward path.
echo "timing the exact test's chain over table shapes ..." >&2
MICRO="$BUILD/bench/korvel_micro_bench"
SHAPE_TIME="${BENCH_SHAPE_TIME:-0.1}"
"$MICRO" --benchmark_filter='^BM_ChainShapeStraightforward/' --benchmark_min_time=0.05 \
  --benchmark_out="$SCRATCH/shape-plain.json" --benchmark_out_format=json >/dev/null 2>&1
shape_files=()
for form in $("$MICRO" --chain-forms); do
  KORVEL_CHAIN_FORM="$form" "$MICRO" --benchmark_filter='^BM_ChainShape/' --benchmark_min_time="$SHAPE_TIME" \
    --benchmark_out="$SCRATCH/shape-$form.json" --benchmark_out_format=json >/dev/null 2>&1
  shape_files+=("$form=$SCRATCH/shape-$form.json")
done
python3 "$ROOT/bench/shape_table.py" "$SCRATCH/shape-plain.json" "${shape_files[@]}"

# The planning search beside a grid at step 1: replicate runs and wall time.
echo
BUILD="$BUILD" JOBS="$JOBS" "$ROOT/bench/plan.sh"

# Whether the search's answers and intervals hold against brute force (the
# truth is cached in bench/search_coverage/cache; the searches take about an
# hour on 2 cores, COVERAGE_SEEDS=5 for a quick look).
BUILD="$BUILD" JOBS="$JOBS" "$ROOT/bench/search_coverage/run.sh"

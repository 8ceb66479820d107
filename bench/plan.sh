#!/usr/bin/env bash
# The planning question answered two ways, with the replicate runs and the
# wall time each takes:
#  - the search: korvel-sweep --find sample-size from the example Genepop
#    file, 6 populations, F'st 0.01 and 0.02;
#  - a fixed grid over the same range at step 1 whose points run until their
#    power is known as closely as the search's interval needs: a grid reads
#    its answer as the first n whose interval reaches the target, so its
#    answer is known to +-K individuals when each point's power is known to
#    +-(slope x K), the slope of power in n at the answer (from the logistic
#    fit to the search's probes).
# A grid point stops at PLAN_GRID_MAX_RUNS even when its interval is still
# too wide: the grid's figure is then a lower bound of what it needs, and
# the report says at how many points that happened.
# It reports; it never fails on time.
#
#   BUILD=DIR        build folder holding korvel, korvel-sweep and korvel-init
#                    (default: build/bench, built here)
#   PLAN_RANGE=2,30  sample sizes searched and gridded
#   PLAN_GRID_MAX_RUNS=1000
#   PLAN_RUNS=200    runs per batch
#   PLAN_SEED=2026
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD:-$ROOT/build/bench}"
RANGE="${PLAN_RANGE:-2,30}"
GRID_MAX_RUNS="${PLAN_GRID_MAX_RUNS:-1000}"
RUNS="${PLAN_RUNS:-200}"
SEED="${PLAN_SEED:-2026}"
JOBS="${JOBS:-2}"

if [ ! -x "$BUILD/korvel-sweep" ] || [ ! -x "$BUILD/korvel-init" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKORVEL_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j "$JOBS" --target korvel korvel-sweep korvel-init >/dev/null
fi

SCRATCH_BASE=/dev/shm
[ -d "$SCRATCH_BASE" ] || SCRATCH_BASE="${TMPDIR:-/tmp}"
SCRATCH="$(mktemp -d "$SCRATCH_BASE/korvel-plan.XXXXXX")"
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH"

DESIGN=(--populations 6 --tests chi2 --runs "$RUNS" --seed "$SEED" --program "$BUILD/korvel")
seconds() { date +%s.%N; }
# awk over a CSV file with the columns by name: col["runs"] is the field
# number of the column runs (the files are read by name, never by place).
by_name() { awk -F, "NR == 1 { for (i = 1; i <= NF; ++i) col[\$i] = i; next } $1" "${@:2}"; }

start=$(seconds)
"$BUILD/korvel-sweep" --find sample-size --fst 0.01,0.02 --range "$RANGE" "${DESIGN[@]}" \
  --out search "$ROOT/examples/pilot.gen" >search.txt 2>search.err || true
search_time=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN { printf "%.1f", b - a }')

# The precision each grid point needs, per F'st, from the search's probes.
read -r -a PRECISIONS < <(python3 - search/curve.csv search/design.csv <<'PY'
import csv, math, sys
probes = list(csv.DictReader(open(sys.argv[1])))
answers = list(csv.DictReader(open(sys.argv[2])))
out = []
for answer in answers:
    rows = [r for r in probes if r["generations"] == answer["generations"]]
    xs = [(math.log(int(r["sample_size"])), int(r["runs"]), int(r["chi2_significant"])) for r in rows]
    c = sum(x * m for x, m, _ in xs) / sum(m for _, m, _ in xs)
    a = b = 0.0
    for _ in range(100):  # Newton on the logistic in log n
        ga = gb = haa = hab = hbb = 0.0
        for x, m, k in xs:
            p = 1 / (1 + math.exp(-(a + b * (x - c))))
            w = m * p * (1 - p)
            ga += k - m * p; gb += (k - m * p) * (x - c)
            haa += w; hab += w * (x - c); hbb += w * (x - c) ** 2
        det = haa * hbb - hab * hab
        a += (hbb * ga - hab * gb) / det
        b += (haa * gb - hab * ga) / det
    n = int(answer["smallest_sample_size"])
    p = 1 / (1 + math.exp(-(a + b * (math.log(n) - c))))
    slope = b * p * (1 - p) / n
    half = max(1, int(answer["ci_high"]) - int(answer["ci_low"])) / 2
    out.append(f"{max(0.005, slope * half):.4f}")
print(" ".join(out))
PY
)

low="${RANGE%,*}"
high="${RANGE#*,}"
sizes="$(seq -s, "$low" "$high")"
grid_runs=0
start=$(seconds)
for i in 0 1; do
  fst=$([ "$i" = 0 ] && echo 0.01 || echo 0.02)
  "$BUILD/korvel-sweep" --fst "$fst" --sample-sizes "$sizes" --no-null --precision "${PRECISIONS[$i]}" \
    --max-runs "$GRID_MAX_RUNS" --runs "$RUNS" --seed "$SEED" --program "$BUILD/korvel" --out "grid-$i" \
    "$ROOT/examples/pilot.gen" --populations 6 --tests chi2 >"grid-$i.txt" 2>&1 || true
  grid_runs=$((grid_runs + $(by_name '{ s += $col["runs"] } END { print s }' "grid-$i/curve.csv")))
  # Points whose interval is still wider than asked: stopped by the cap.
  capped=$((${capped:-0} + $(by_name '($col["chi2_ci_high"] - $col["chi2_ci_low"]) / 2 > w &&
    $col["runs"] + r > cap { n++ } END { print n + 0 }' w="${PRECISIONS[$i]}" cap="$GRID_MAX_RUNS" \
    r="$RUNS" "grid-$i/curve.csv")))
done
grid_time=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN { printf "%.1f", b - a }')
# The search's runs: its probes, the no-drift probe included.
search_runs=$(by_name '{ s += $col["runs"] } END { print s }' search/curve.csv)

echo "planning question: smallest sample size for 80 % power, F'st 0.01 and 0.02, 6 populations, range $RANGE"
grep -E "^F'st" search.txt | sed 's/^/  search: /'
printf '  %-44s %10s runs %8s s\n' "search (--find sample-size)" "$search_runs" "$search_time"
printf '  %-44s %10s runs %8s s\n' "grid at step 1, precision ${PRECISIONS[*]}" "$grid_runs" "$grid_time"
[ "${capped:-0}" = 0 ] || echo "  $capped grid points stopped at $GRID_MAX_RUNS runs before reaching the precision: the grid needs more than shown"
awk -v s="$search_runs" -v g="$grid_runs" 'BEGIN { printf "  the search uses %.1f %% of the grid'"'"'s runs (target: at most 25 %%)\n", 100 * s / g }'

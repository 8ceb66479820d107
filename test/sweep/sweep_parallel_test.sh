#!/usr/bin/env bash
# korvel-sweep --emit-jobs run by GNU parallel, then --collect: the curve
# equals a local run of the same command and seed. Skips (exit 77) when
# GNU parallel is not installed.
#
#   sweep_parallel_test.sh KORVEL_SWEEP KORVEL
set -u
sweep=$1
korvel=$2
. "$(dirname "$0")/sweep_engine_common.sh"
command -v parallel >/dev/null || skip "GNU parallel is not installed (Debian: apt-get install parallel)"

scratch=$(make_scratch parallel) || exit 1
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || fail "no scratch folder"
write_template
args=(--program "$korvel" --fst 0.02,0.1 --loci 2,3 --seed 2718)

"$sweep" "${args[@]}" --emit-jobs --out jobs T.IN >jobs.txt 2>err.txt || fail "--emit-jobs: $(cat err.txt)"
[ "$(wc -l <jobs.txt)" = 6 ] || fail "expected 6 jobs: $(cat jobs.txt)"
parallel --will-cite -j 2 <jobs.txt || fail "parallel: a job failed"
finished "$sweep" --collect jobs >collect.txt 2>&1 || fail "--collect: $(cat collect.txt)"
finished "$sweep" "${args[@]}" --jobs 1 --out local T.IN >local.txt 2>&1 || fail "local run: $(cat local.txt)"
for file in curve.csv design.csv point-0{1,2,3,4,5,6}/KORVEL.OUT; do
  cmp -s "jobs/$file" "local/$file" || fail "jobs/$file differs from local/$file: $(diff "jobs/$file" "local/$file" | head)"
done
echo "the GNU parallel sweep equals the local one"

# Shared by the tests that run korvel-sweep through an outside engine
# (GNU parallel, Slurm): a scratch folder and a tiny template.

fail() { echo "FAILED: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
# Runs a command; a sweep that finished with a flagged answer (exit status
# 3) has written all its files, as one with status 0.
finished() { "$@"; local status=$?; [ "$status" = 0 ] || [ "$status" = 3 ]; }

# Makes a scratch folder (in memory when possible) and prints its path.
make_scratch() {
  local base=/dev/shm
  [ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
  mktemp -d "$base/korvel-$1-XXXXXX" || fail "cannot make a scratch folder"
}

# Writes T.IN: 3 loci, 2 populations of 50, samples of 10, 6 runs and a
# short exact-test chain, so that a point takes a fraction of a second.
write_template() {
  cat >T.IN <<'TEMPLATE'
Engine sweep
tiny
100 5 50
1 1
1
----
3
2
50
10
10 10
6
----
alleles
2 0.5 0.5
3 0.4 0.3 0.3
2 0.9 0.1
TEMPLATE
}

#!/usr/bin/env bash
# --help and --version of the four programs, and their manual pages.
#   help_version_test.sh VERSION KORVEL KORVEL_ML KORVEL_INIT KORVEL_SWEEP MAN_FOLDER
set -u
version=$1 korvel=$2 korvel_ml=$3 init=$4 sweep=$5 man=$6
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

for program in "$korvel" "$korvel_ml" "$init" "$sweep"; do
  name=$(basename "$program")
  said=$("$program" --version 2>err); status=$?
  [ "$status" = 0 ] || fail "$name --version exits $status"
  [ "$said" = "$name $version" ] || fail "$name --version prints '$said', not '$name $version'"
  "$program" --help >out 2>err; status=$?
  [ "$status" = 0 ] || fail "$name --help exits $status"
  grep -q "^usage: $name" out || fail "$name --help prints no usage on standard output"
  # korvel chose and printed a seed before it looked at its arguments.
  [ ! -s err ] || fail "$name --help writes to standard error: $(head -c 200 err)"
done

# Only the sole argument is answered; anything else runs as it always did
# (here: no KORVEL.IN, so the program stops with its own message).
"$korvel" --help extra >out 2>err && fail "korvel --help extra ran as help"
grep -q "^seed " err && grep -q "KORVEL.IN" out err || fail "korvel --help extra did not run: $(cat out err | head -c 300)"

for program in "$init" "$sweep"; do
  "$program" --no-such-option >out 2>err; status=$?
  [ "$status" = 2 ] || fail "$(basename "$program") --no-such-option exits $status, not 2"
done

# Every option --help names is in the program's manual page (a page that
# is only ".so other.1" stands for the other), and no page prints a
# character other than the one meant (\(tm renders as a trademark sign).
for program in "$korvel" "$korvel_ml" "$init" "$sweep"; do
  name=$(basename "$program")
  page="$man/$name.1"
  redirect=$(sed -n 's/^\.so \(man1\/\)\{0,1\}//p' "$page" | head -1)
  [ -z "$redirect" ] || page="$man/$redirect"
  for option in $("$program" --help 2>/dev/null | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u); do
    escaped=$(printf '%s' "$option" | sed 's/-/\\-/g')
    grep -qP -- "\\Q$escaped\\E(?![a-z]|\\\\-[a-z])" "$page" ||
      fail "$name --help names $option, its manual page $(basename "$page") does not"
  done
  ! grep -q '\\(tm' "$page" || fail "$(basename "$page") prints a trademark sign (\\(tm); a multiplication is \\(mu"
done

if command -v groff >/dev/null; then
  for page in "$man"/*.1; do
    warnings=$(cd "$man" && groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    grep -q "$version" "$page" || grep -q '^\.so ' "$page" || fail "$(basename "$page") does not carry $version"
  done
else
  echo "groff missing: manual pages not checked"
fi

[ "$failures" = 0 ] && echo "help, version and manual pages: ok"
exit $((failures > 0))

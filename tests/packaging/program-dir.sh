#!/usr/bin/env bash
# Starts a kelomon executable offscreen with a scratch HOME and checks where it
# keeps Main.ini and Monitor/.
#   program-dir.sh portable  KELOMON   a copy in a writable folder keeps its files beside it
#   program-dir.sh installed KELOMON   a copy in a read-only folder keeps them in the home
#   program-dir.sh extracted KELOMON   KELOMON lies in an extracted package; its folder is
#                                      made read-only and must stay as it is
# As root the program runs as nobody: root may write any folder.
set -euo pipefail

mode=$1 exe=$(readlink -f "$2")
scratch=$(mktemp -d /tmp/kelo-program-dir.XXXXXX)
chmod 755 "$scratch"
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  chmod -R u+w "$scratch" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL ($mode): $*" >&2; exit 1; }

home=$scratch/home
mkdir -p "$home"
case $mode in
  portable|installed)
    bin=$scratch/program
    mkdir -p "$bin"
    cp "$exe" "$bin/kelomon"
    exe=$bin/kelomon ;;
  extracted) bin=$(dirname "$exe") ;;
  *) echo "unknown mode: $mode" >&2; exit 2 ;;
esac
[ "$mode" = portable ] || chmod a-w "$bin"
before=$(ls -A "$bin")

run_as=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:nogroup "$home"
  [ "$mode" = portable ] && chown -R nobody:nogroup "$bin"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

# The program's files, wherever they land, are complete once Monitor/ is there.
data=$home/.local/share/kelomon
if [ "$mode" = portable ]; then expect=$bin; else expect=$data; fi
env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen \
  "${run_as[@]}" "$exe" >"$scratch/out.log" 2>&1 &
pid=$!
for _ in $(seq 300); do
  [ -d "$expect/Monitor" ] && break
  kill -0 "$pid" 2>/dev/null || { cat "$scratch/out.log" >&2; fail "kelomon ended at start"; }
  sleep 0.1
done
[ -d "$expect/Monitor" ] || { cat "$scratch/out.log" >&2; fail "no Monitor/ in $expect"; }
kill "$pid"; wait "$pid" 2>/dev/null || true; pid=

if [ "$mode" = portable ]; then
  [ ! -e "$data" ] || fail "a portable program wrote $data"
  [ -z "$(find "$home" -mindepth 1 -maxdepth 1 ! -name .cache)" ] || fail "a portable program wrote into HOME: $(ls -A "$home")"
else
  [ -f "$data/Main.ini" ] || fail "no Main.ini in $data"
  [ -z "$(cat "$data/Main.ini")" ] || fail "the first start wrote settings: $(cat "$data/Main.ini")"
  [ "$(ls -A "$bin")" = "$before" ] || fail "files appeared beside the executable: $(ls -A "$bin")"
fi
echo "ok ($mode): files in $expect"

#!/usr/bin/env bash
# The desktop action "시뮬레이터로 시작" (LAUNCHER, normally
# /usr/libexec/kelomon/kelomon-simulator) with a scratch HOME and the real
# KELOSIM; a stand-in kelomon notes what it found when it started.
#   simulator-action.sh LAUNCHER KELOSIM
set -euo pipefail

launcher=$(readlink -f "$1") kelosim=$(readlink -f "$2")
scratch=$(mktemp -d /tmp/kelo-sim-action.XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

bin=$scratch/bin
mkdir -p "$bin"
ln -s "$kelosim" "$bin/kelosim"
cat >"$bin/kelomon" <<'STUB'
#!/bin/sh
# Stand-in for kelomon: does the simulator answer a WHO request on its link?
link=$HOME/.local/share/kelomon/kelosim.tty
if [ -e "$link" ] && exec 3<>"$link"; then
  stty -F "$link" raw -echo
  printf '\00201WHO\r\n' >&3
  timeout 5 head -c 6 <&3 | tr '\002' '^' >"$HOME/seen"
else
  echo none >"$HOME/seen"
fi
STUB
chmod +x "$bin/kelomon"

start() {
  env -i PATH=/usr/bin:/bin HOME="$home" KELO_BINDIR="$bin" "$launcher" 2>"$scratch/err.log" \
    || { cat "$scratch/err.log" >&2; fail "the launcher failed"; }
}
data() { echo "$home/.local/share/kelomon"; }

# A first start: Main.ini points at the simulator, the sample set is there, the
# simulator answers while the program runs and ends with it.
home=$scratch/fresh
mkdir -p "$home"
start
[ "$(cat "$home/seen")" = "^01WHO" ] || fail "the simulator did not answer: $(cat "$home/seen")"
grep -qx "Port=$(data)/kelosim.tty"$'\r' "$(data)/Main.ini" || fail "Main.ini: $(cat -A "$(data)/Main.ini")"
[ -s "$(data)/Monitor/sample.khd" ] || fail "no sample channel set"
for _ in $(seq 100); do [ -e "$(data)/kelosim.tty" ] || break; sleep 0.1; done
[ ! -e "$(data)/kelosim.tty" ] || fail "the simulator outlived the program"

# A user with a real port and a channel set of the same name keeps both.
home=$scratch/configured
mkdir -p "$(data)/Monitor"
printf '[ComPort1]\r\nPort=ttyUSB0\r\n' >"$(data)/Main.ini"
printf 'mine\r\n' >"$(data)/Monitor/sample.khd"
start
[ "$(cat "$home/seen")" = none ] || fail "a simulator was started for a configured port"
[ "$(od -An -c "$(data)/Main.ini")" = "$(printf '[ComPort1]\r\nPort=ttyUSB0\r\n' | od -An -c)" ] \
  || fail "Main.ini was changed"
[ "$(cat "$(data)/Monitor/sample.khd")" = "$(printf 'mine\r')" ] || fail "sample.khd was overwritten"
echo ok

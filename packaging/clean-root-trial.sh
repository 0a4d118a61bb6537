#!/bin/bash
# Run inside a fresh Debian 12 root by check-clean-root.sh, as root:
# installs /tmp/kelomon.deb with apt ($APT_OPTIONS), tries the programs as a
# normal user, and removes the package again. $TRIAL names the root.
set -euo pipefail
fail() { echo "FAIL ($TRIAL): $*" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive
# The lists come with the root; a root without them fetches them.
[ -n "$(ls /var/lib/apt/lists/*_Packages 2>/dev/null)" ] || apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq $APT_OPTIONS /tmp/kelomon.deb >/tmp/apt.log 2>&1 || { tail -20 /tmp/apt.log; fail "apt-get install"; }
echo "installed: $(dpkg-query -W -f='${Version}' kelomon); $(dpkg -l | grep -c '^ii') packages in the root"
dpkg -L kelomon >/tmp/package-files

# A normal user (no passwd tools in a minimal root: a bare uid will do).
home=/home/operator
mkdir -p "$home"
chown 1000:1000 "$home"
# Started in the background ("as_user prog &"): exec keeps $! the program's pid.
as_user() { exec env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen setpriv --reuid=1000 --regid=1000 --clear-groups "$@"; }

echo "-- kelomon starts and makes its files"
as_user kelomon >/tmp/kelomon.log 2>&1 &
pid=$!
for _ in $(seq 150); do
  [ -d "$home/.local/share/kelomon/Monitor" ] && break
  kill -0 "$pid" 2>/dev/null || { cat /tmp/kelomon.log; fail "kelomon ended at start"; }
  sleep 0.2
done
[ -f "$home/.local/share/kelomon/Main.ini" ] || { cat /tmp/kelomon.log; fail "no Main.ini in ~/.local/share/kelomon"; }
kill "$pid"; wait "$pid" 2>/dev/null || true

echo "-- kelorec records kelosim for 10 s"
printf 'Kiln;1000\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n' >"$home/kiln.khd"
chown 1000:1000 "$home/kiln.khd"
as_user kelosim --link "$home/sim.tty" --addresses 1-2 >/tmp/kelosim.log 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$home/sim.tty" ] && break; sleep 0.1; done
[ -e "$home/sim.tty" ] || { cat /tmp/kelosim.log; fail "kelosim made no link"; }
as_user kelorec --port "$home/sim.tty" --line 9600,None,8,1 --delay 100 --out "$home/records" "$home/kiln.khd" \
  2>/tmp/kelorec.log &
rec=$!
sleep 10
kill -TERM "$rec"
status=0; wait "$rec" || status=$?
kill "$sim"; wait "$sim" 2>/dev/null || true
[ "$status" -eq 0 ] || { cat /tmp/kelorec.log; fail "kelorec ended with status $status"; }
record=$(ls "$home"/records/Kiln_*.kmr)
samples=$(grep -c '^[0-9]\{8\}/[0-9]\{6\};' "$record" || true)
answered=$(grep -c '^[0-9]\{8\}/[0-9]\{6\};[1-9-]' "$record" || true)
[ "$samples" -ge 8 ] && [ "$answered" -ge 5 ] || { cat /tmp/kelorec.log "$record"; fail "$samples samples, $answered with a value"; }
echo "$samples samples in $(basename "$record")"

if [ "$APT_OPTIONS" = --no-install-recommends ]; then
  echo "-- the Korean texts with each font the package accepts"
  export QT_QPA_PLATFORM=offscreen
  /usr/local/bin/kelo_font_probe || fail "boxes with fonts-nanum"
  apt-get install -y -qq --no-install-recommends fonts-noto-cjk >>/tmp/apt.log 2>&1 || fail "installing fonts-noto-cjk"
  dpkg -r fonts-nanum >>/tmp/apt.log 2>&1 || fail "fonts-noto-cjk alone does not satisfy the package"
  /usr/local/bin/kelo_font_probe || fail "boxes with fonts-noto-cjk"
  apt-get install -y -qq --no-install-recommends fonts-unfonts-core >>/tmp/apt.log 2>&1 || fail "installing fonts-unfonts-core"
  dpkg -r fonts-noto-cjk >>/tmp/apt.log 2>&1 || fail "fonts-unfonts-core alone does not satisfy the package"
  /usr/local/bin/kelo_font_probe || fail "boxes with fonts-unfonts-core"
fi

echo "-- apt-get remove"
apt-get remove -y -qq kelomon >>/tmp/apt.log 2>&1 || { tail -20 /tmp/apt.log; fail "apt-get remove"; }
left=()
while read -r f; do
  [ -e "$f" ] && [ ! -d "$f" ] && left+=("$f")
done </tmp/package-files
[ ${#left[@]} -eq 0 ] || fail "files of the package left: ${left[*]}"
[ ! -e /etc/kelorec ] || fail "/etc/kelorec is left"
[ -f "$home/.local/share/kelomon/Main.ini" ] && [ -f "$record" ] || fail "the user's files went with the package"
echo "removed; the user's files stay"

if [ "$APT_OPTIONS" = --no-install-recommends ]; then
  # The check of the check: without a Korean font the probe sees boxes.
  dpkg -r fonts-unfonts-core >>/tmp/apt.log 2>&1
  if /usr/local/bin/kelo_font_probe >/tmp/probe.log 2>&1; then cat /tmp/probe.log; fail "the probe saw no boxes without a Korean font"; fi
fi
echo "ok ($TRIAL)"

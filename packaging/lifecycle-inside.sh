#!/bin/bash
# Run at boot inside the container of boot-lifecycle.sh: the recorder service
# from enabling to removal, as an administrator lives it. Writes
# /lifecycle.log and /lifecycle.result ("ok" or the failure), then powers off.
set -uo pipefail
exec >/lifecycle.log 2>&1
unit=kelorec@furnace.service
fail() {
  echo "FAIL: $*"
  echo "FAIL: $*" >/lifecycle.result
  journalctl -u 'kelorec@*' --no-pager | tail -30
  systemctl poweroff
  exit 1
}
prop() { systemctl show -p "$1" --value "${2:-$unit}"; }
# wait_for WHAT CONDITION...: CONDITION is evaluated anew each time.
wait_for() {
  local what=$1; shift
  for _ in $(seq 100); do eval "$*" && return 0; sleep 0.2; done
  fail "$what"
}
# The simulator, on a pseudo-terminal the dynamic user may open.
start_sim() {
  systemctl stop kelosim 2>/dev/null
  rm -f /run/kelo/sim.tty
  systemd-run --quiet --unit=kelosim kelosim --link /run/kelo/sim.tty --addresses 1-2
  wait_for "kelosim's link" test -e /run/kelo/sim.tty
  chmod 666 "$(readlink -f /run/kelo/sim.tty)"
}

echo "== the controllers: kelosim on a pseudo-terminal, standing in for the adapter"
mkdir -p /run/kelo
start_sim

echo "== enable, as the README says, recording into /srv/records"
printf 'Kiln;1000\r\n01;Z1;0001;1;1200;-100;255\r\n02;Z2;0001;0;100;0;65280\r\n' >/etc/kelorec/furnace.khd
cat >/etc/kelorec/furnace.conf <<'CONF'
KELOREC_SET=/etc/kelorec/furnace.khd
KELOREC_OPTIONS=--port /run/kelo/sim.tty --line 9600,None,8,1 --delay 50
KELOREC_OUT=/srv/records
CONF
install -d -g dialout -m 2770 /srv/records
mkdir -p /etc/systemd/system/$unit.d
# The advice for /srv/records; the pseudo-terminal's devices; a short watchdog
# so a hang is seen within the trial.
printf '[Service]\nReadWritePaths=/srv/records\nDeviceAllow=char-pts rw\nWatchdogSec=3\n' \
  >/etc/systemd/system/$unit.d/override.conf
systemctl daemon-reload
systemctl enable --now $unit || fail "enable --now"
[ "$(prop ActiveState)" = active ] || fail "not active after start: $(prop ActiveState)"
echo "$unit: $(prop ActiveState), as $(prop User) (DynamicUser), status: $(prop StatusText)"
sleep 10
status=$(prop StatusText)
echo "status after 10 s: $status"
grep -q 'last sample .*; [1-9][0-9]* lines written; link up' <<<"$status" || fail "status: $status"
record=$(ls /srv/records/Kiln_*.kmr) || fail "no record in /srv/records"
samples=$(grep -c '^[0-9]\{8\}/[0-9]\{6\};[1-9-]' "$record")
[ "$samples" -ge 8 ] || fail "$samples answered samples in $record"
echo "$samples samples in $record, $(stat -c '%U:%G %a' "$record")"
[ "$(stat -c %G "$record")" = dialout ] || fail "the record is not the group dialout's"

echo "== a hung recorder is restarted by the watchdog"
pid=$(prop MainPID)
kill -STOP "$pid"
wait_for "no restart after the watchdog" '[ "$(prop NRestarts)" -ge 1 ]'
wait_for "not active again after the watchdog" '[ "$(prop ActiveState)" = active ]'
echo "restarted: pid $pid -> $(prop MainPID), $(prop NRestarts) restart"
# A pseudo-terminal's slave stays exclusive (TIOCEXCL) after its killed holder
# while the simulator holds the master; a real device is released. A new
# simulator at the same link, which kelorec retries every second.
start_sim
wait_for "the restarted recorder does not record" \
  'journalctl -u $unit -o cat | grep -q "port /run/kelo/sim.tty is open"'

echo "== a misconfigured instance fails once"
systemctl start kelorec@missing.service && fail "kelorec@missing started"
sleep 7
[ "$(prop NRestarts kelorec@missing.service)" = 0 ] || fail "kelorec@missing restarted"
journalctl -u kelorec@missing.service --no-pager -o cat | grep kelorec:
[ "$(journalctl -u kelorec@missing.service -o cat | grep -c 'kelorec: /etc/kelorec/missing.conf does not exist')" = 1 ] \
  || fail "no one line naming /etc/kelorec/missing.conf"

echo "== stop"
systemctl stop $unit
[ "$(prop ExecMainStatus)" = 0 ] || fail "stopped with status $(prop ExecMainStatus)"
journalctl -u $unit -o cat | grep -q 'stopped; every sample line is in' || fail "no orderly end in the journal"

echo "== upgrade: a running recorder goes on with the new program"
systemctl start $unit
before=$(prop MainPID)
dpkg -i /root/kelomon_*.deb >/dev/null || fail "dpkg -i (upgrade)"
wait_for "not active after the upgrade" '[ "$(prop ActiveState)" = active ]' 
[ "$(prop MainPID)" != "$before" ] || fail "the recorder was not restarted on upgrade"
echo "restarted on upgrade: pid $before -> $(prop MainPID)"

echo "== remove: the recorder stops, no restart loop, no reload asked"
apt-get remove -y -qq kelomon >/dev/null || fail "apt-get remove"
sleep 7
state=$(prop ActiveState)
[ "$state" = inactive ] || fail "after removal: $state, $(prop NRestarts) restarts"
[ "$(prop NeedDaemonReload)" = no ] || fail "systemctl asks for a daemon-reload"
[ ! -e /usr/bin/kelorec ] || fail "/usr/bin/kelorec is left"
[ -f "$record" ] && [ -f /etc/kelorec/furnace.conf ] || fail "the administrator's files went"
echo "removed: $unit $state; records and settings kept"
echo ok >/lifecycle.result
systemctl poweroff

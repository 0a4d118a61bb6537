#!/usr/bin/env bash
# systemd-analyze verify on the recorder's service template, as instance
# "check"; any complaint fails. Then its sandbox: systemd-analyze security
# must score it at most 2.5 (of 10, "exposed" is above 7). Where
# /usr/bin/kelorec is not installed, the unit is checked with STAND_IN
# (default /bin/true) in its place.
#   verify-unit.sh UNIT [STAND_IN]      exit 77: no systemd-analyze here
set -euo pipefail

unit=$1 stand_in=${2:-/bin/true}
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze"; exit 77; }
scratch=$(mktemp -d /tmp/kelo-unit.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

instance=$scratch/kelorec@check.service
if [ -x /usr/bin/kelorec ]; then
  cp "$unit" "$instance"
else
  sed "s|/usr/bin/kelorec |$stand_in |" "$unit" >"$instance"
fi
grep -q "^ExecStart=$stand_in \|^ExecStart=/usr/bin/kelorec " "$instance" || { echo "no ExecStart of kelorec" >&2; exit 1; }
# --man=no: the manual page is checked by lintian in the package.
out=$(systemd-analyze verify --man=no "$instance" 2>&1) || { echo "$out" >&2; exit 1; }
[ -z "$out" ] || { echo "$out" >&2; exit 1; }
# --threshold is in tenths: 25 is 2.5.
security=$(systemd-analyze security --offline=yes --threshold=25 "$instance" 2>&1) \
  || { echo "$security" >&2; echo "the unit's exposure is above 2.5" >&2; exit 1; }
echo "ok: $(basename "$unit") verifies; $(grep -o 'exposure level.*' <<<"$security")"

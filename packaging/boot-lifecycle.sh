#!/usr/bin/env bash
# The recorder service's whole life on a booted Debian 12: a fresh root
# (mmdebstrap, from this machine's Debian mirror) with systemd and the package,
# booted with systemd-nspawn, where packaging/lifecycle-inside.sh runs at boot:
# enable, record (Type=notify, status, watchdog, the /srv/records advice), a
# misconfigured instance, stop, upgrade, remove. Not part of CI (it takes a
# few minutes); exit 77 where nspawn cannot boot here.
#   packaging/boot-lifecycle.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
deb=$(ls -t "$build"/kelomon_*_amd64.deb | head -1)
[ "$(id -u)" -eq 0 ] || { echo "needs root"; exit 77; }
command -v systemd-nspawn >/dev/null && command -v mmdebstrap >/dev/null || { echo "needs systemd-nspawn and mmdebstrap"; exit 77; }
mirrors=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && grep -qE '(^|[[:space:]])bookworm([[:space:]]|$)' "$f" && mirrors+=("$f")
done

work=$(mktemp -d /tmp/kelo-boot.XXXXXX)
trap 'rm -rf --one-file-system "$work"' EXIT
root=$work/root
begin=$SECONDS
mmdebstrap --quiet --variant=apt --mode=root --dpkgopt=force-unsafe-io --include=systemd-sysv,dbus \
  --customize-hook="copy-in $deb /root" \
  --customize-hook='chroot "$1" sh -c "apt-get install -y -qq --no-install-recommends /root/kelomon_*.deb >/dev/null"' \
  --customize-hook="copy-in packaging/lifecycle-inside.sh /root" \
  bookworm "$root" "${mirrors[@]}"
cat >"$root/etc/systemd/system/kelo-lifecycle.service" <<'UNIT'
[Unit]
Description=kelorec service lifecycle trial
After=multi-user.target
[Service]
Type=oneshot
ExecStart=/bin/bash /root/lifecycle-inside.sh
UNIT
ln -s /etc/systemd/system/kelo-lifecycle.service "$root/etc/systemd/system/multi-user.target.wants/"
echo "root made in $((SECONDS - begin)) s; booting"
# No machined or system bus on a build machine: no registration, no scope.
timeout 600 systemd-nspawn --quiet -D "$root" --boot --register=no --keep-unit --console=pipe \
  >"$work/boot.log" 2>&1 || true
cat "$root/lifecycle.log" 2>/dev/null || { tail -30 "$work/boot.log"; echo "the container did not run the trial"; exit 77; }
echo "took $((SECONDS - begin)) s"
[ "$(cat "$root/lifecycle.result" 2>/dev/null)" = ok ]

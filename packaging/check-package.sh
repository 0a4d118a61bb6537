#!/usr/bin/env bash
# Builds the Debian package and checks it (a step of its own in .ci/run):
# lintian (an error fails; warnings are shown), the recorder's service unit,
# and the extracted program: kelomon started offscreen with a scratch HOME and
# a read-only program folder, and the desktop action with the simulator.
#   packaging/check-package.sh [BUILD_DIR]     (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target package
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
release=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_RELEASE "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$build/kelomon_${version}${release:+-$release}_amd64.deb
[ -f "$deb" ] || { echo "no $deb" >&2; exit 1; }
echo "== $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Recommends\):/&/p'

echo "== lintian"
lintian --fail-on error --display-info --pedantic "$deb"

root=$(mktemp -d /tmp/kelo-package.XXXXXX)
trap 'chmod -R u+w "$root"; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

if command -v appstreamcli >/dev/null; then
  echo "== AppStream metainfo"
  appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
fi

echo "== maintainer scripts and folders"
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
for script in postinst prerm postrm; do
  grep -qx "./$script" <<<"$scripts" || { echo "no $script in the package" >&2; exit 1; }
done
[ -d "$root/etc/kelorec" ] || { echo "the package does not make /etc/kelorec" >&2; exit 1; }

echo "== hardening (Debian's build flags)"
for program in kelomon kelosim kelorec; do
  exe=$root/usr/bin/$program
  [ -f "$exe" ] || continue
  symbols=$(readelf --dyn-syms -W "$exe")
  missing=()
  grep -q ' __stack_chk_fail' <<<"$symbols" || missing+=("stack protector")
  readelf -lW "$exe" | grep -q GNU_RELRO || missing+=(relro)
  readelf -dW "$exe" | grep -q 'FLAGS.*\bNOW\b\|BIND_NOW' || missing+=("bind now")
  [ ${#missing[@]} -eq 0 ] || { echo "$program lacks: ${missing[*]}" >&2; exit 1; }
  # A program may call no libc function that has a checked variant.
  fortified=$(grep -c ' __[a-z_]*_chk@' <<<"$symbols" || true)
  echo "$program: stack protected, relro, bind now, $fortified fortified functions"
done

echo "== installed mode"
tests/packaging/program-dir.sh extracted "$root/usr/bin/kelomon"
echo "== desktop action"
grep -qx 'Exec=/usr/libexec/kelomon/kelomon-simulator' "$root/usr/share/applications/kelomon.desktop"
tests/packaging/simulator-action.sh "$root/usr/libexec/kelomon/kelomon-simulator" "$root/usr/bin/kelosim"

unit=$root/usr/lib/systemd/system/kelorec@.service
if [ -f "$unit" ]; then
  echo "== service unit"
  tests/packaging/verify-unit.sh "$unit" "$root/usr/bin/kelorec"
fi
echo "package checks passed"

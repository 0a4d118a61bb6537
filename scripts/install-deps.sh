#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Idempotent: quiet and quick when everything is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libtsan2
  qt6-base-dev qt6-serialport-dev qt6-svg-dev libqcustomplot-dev libxlsxwriter-dev
  libgl-dev
  fonts-nanum
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb imagemagick xauth unzip openbox
  clang libclang-rt-14-dev valgrind heaptrack
  qt6-translations-l10n
  alsa-utils
  libmosquitto-dev libssl-dev mosquitto mosquitto-clients openssl
  dpkg-dev fakeroot file lintian systemd appstream
  libsystemd-dev mmdebstrap systemd-container
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
#   ./test.sh             the normal run (CI runs exactly this)
#   ./test.sh --sanitize  builds and runs the tests with ASan + UBSan in build-asan/
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build=build
extra=()
for arg in "$@"; do
  case "$arg" in
    --sanitize) build=build-asan; extra+=(-DKELO_SANITIZE=ON) ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${extra[@]}" >/dev/null
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

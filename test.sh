#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
#   ./test.sh             the normal run
#   ./test.sh --sanitize  builds and runs the tests with ASan + UBSan in build-asan/;
#                         any sanitizer report fails the run
#   ./test.sh --fuzz [N]  builds the fuzz targets with clang and runs each for N
#                         executions (see scripts/fuzz.sh)
# CI (.ci/run) runs the normal run, then the sanitizer run.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build=build
extra=()
case "${1:-}" in
  "") ;;
  --sanitize)
    build=build-asan
    extra+=(-DKELO_SANITIZE=ON)
    # A report ends the test program, so CTest sees it fail.
    export ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_leaks=1"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    ;;
  --fuzz)
    shift
    exec ./scripts/fuzz.sh "$@"
    ;;
  *) echo "unknown option: $1" >&2; exit 2 ;;
esac

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${extra[@]}" >/dev/null
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

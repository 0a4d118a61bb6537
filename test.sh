#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
#   ./test.sh             the normal run
#   ./test.sh --sanitize  builds and runs the tests with ASan + UBSan in build-asan/;
#                         any sanitizer report fails the run
#   ./test.sh --tsan      builds and runs the publishing, recorder and monitoring
#                         (engine) suites with ThreadSanitizer in build-tsan/; any
#                         report fails the run (tests/tsan.supp: what of Qt is left out)
#   ./test.sh --fuzz [N]  builds the fuzz targets with clang and runs each for N
#                         executions (see scripts/fuzz.sh)
# CI (.ci/run) runs the normal run, then the sanitizer runs.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build=build
extra=()
targets=()   # empty: every target
select=()    # empty: every test
case "${1:-}" in
  "") ;;
  --sanitize)
    build=build-asan
    extra+=(-DKELO_SANITIZE=ON)
    # A report ends the test program, so CTest sees it fail.
    export ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_leaks=1"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    ;;
  --tsan)
    build=build-tsan
    extra+=(-DKELO_TSAN=ON)
    # The suites where threads meet: the publisher's network thread, the
    # recorder's run and the engine that feeds both.
    suites=(kelo_publish_tests kelo_recorder_tests kelo_recorder_publish_tests kelo_monitoring_tests)
    targets=(--target "${suites[@]}")
    select=(-L "^($(IFS='|'; echo "${suites[*]}"))\$")
    # A report makes the program end with status 66 at its exit, so CTest
    # sees the test fail; kelorec, kelosim and the probe inherit the options.
    export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp second_deadlock_stack=1 history_size=4"
    # GLib's slab allocator hands its chunks between Qt's painting threads
    # under a lock the sanitizer cannot see; plain malloc it can.
    export G_SLICE=always-malloc
    ;;
  --fuzz)
    shift
    exec ./scripts/fuzz.sh "$@"
    ;;
  *) echo "unknown option: $1" >&2; exit 2 ;;
esac

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${extra[@]}" >/dev/null
cmake --build "$build" "${targets[@]}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "${select[@]}"

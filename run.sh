#!/usr/bin/env bash
# Installs what is missing, builds (Release) and starts the program.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target kelomon

bin="$PWD/build/bin"
if [ -x scripts/run-helpers.sh ]; then
  # shellcheck source=/dev/null
  . scripts/run-helpers.sh
  prepare_program_dir "$bin"
fi
exec "$bin/kelomon"

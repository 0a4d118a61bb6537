#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and runs
# them, printing one summary line per target.
#
#   scripts/fuzz.sh [RUNS | SECONDSs] [TARGET...]
#
# RUNS: executions per target (default 100000); "600s" runs each for 600 s
# instead. TARGET: ReplyAssembler, IniFile, ChannelSet, RecordReader,
# WorkbookCell (default: all). The committed seeds in fuzz/corpus/<TARGET>
# are copied into build-fuzz/corpus/<TARGET>, which grows run after run;
# crash reproducers land in build-fuzz/artifacts/<TARGET>/.
# FUZZ_JOBS (default 1) runs that many jobs per target (-jobs, -workers);
# FUZZ_MAX_SECONDS ends each target after that many seconds even when its
# RUNS are not done. FUZZ_MAX_LEN caps the input length (libFuzzer's default
# is 4096 bytes once the corpus is small).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
limit="${1:-100000}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ReplyAssembler IniFile ChannelSet RecordReader WorkbookCell)
jobs="${FUZZ_JOBS:-1}"
# A smaller quarantine keeps ASan from faulting in fresh pages at every
# allocation; use-after-free is still caught within the last 16 MB freed.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

if [[ "$limit" =~ ^[0-9]+s$ ]]; then
  budget=(-max_total_time="${limit%s}")
elif [[ "$limit" =~ ^[0-9]+$ ]]; then
  budget=(-runs="$limit")
else
  echo "usage: $0 [RUNS | SECONDSs] [TARGET...]" >&2
  exit 2
fi
[ -z "${FUZZ_MAX_SECONDS:-}" ] || budget+=(-max_total_time="$FUZZ_MAX_SECONDS")
[ -z "${FUZZ_MAX_LEN:-}" ] || budget+=(-max_len="$FUZZ_MAX_LEN")

command -v clang++ >/dev/null || { echo "clang++ is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKELO_FUZZ=ON -DKELO_TESTS=OFF >/dev/null
fi
nice cmake --build "$build" --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

status=0
for t in "${targets[@]}"; do
  bin="$build/bin/fuzz_$t"
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  logs="$build/logs/$t"
  mkdir -p "$corpus" "$artifacts" "$logs"
  [ -d "$root/fuzz/corpus/$t" ] && cp -n "$root/fuzz/corpus/$t"/* "$corpus"/ 2>/dev/null || true
  rm -f "$logs"/fuzz-*.log
  # The targets keep their scratch files here (see fuzz/FuzzInput.h).
  scratch="/dev/shm/kelo-fuzz-$$-$t"
  mkdir -p "$scratch"
  start=$(date +%s)
  set +e
  (cd "$logs" && KELO_FUZZ_SCRATCH="$scratch" nice "$bin" "${budget[@]}" -jobs="$jobs" -workers="$jobs" -timeout=20 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" >"$logs/main.log" 2>&1)
  rc=$?
  set -e
  rm -rf "$scratch"
  wall=$(( $(date +%s) - start ))
  log=$(ls "$logs"/fuzz-*.log 2>/dev/null | head -n1 || true)
  [ -n "$log" ] || log="$logs/main.log"
  last=$(grep -E '^#[0-9]+' "$log" | tail -n1 || true)
  execs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{s+=$2} END {print s+0}')
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  crashes=$(find "$artifacts" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) -newer "$logs/main.log" 2>/dev/null | wc -l)
  if grep -qE 'ERROR: (AddressSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|invariant failed' "$log" "$logs/main.log"; then
    crashes=$((crashes > 0 ? crashes : 1))
  fi
  size=$(find "$corpus" -type f | wc -l)
  printf '%-15s execs=%s wall=%.0fs cov=%s ft=%s corpus=%s crashes=%s rc=%s log=%s\n' \
    "$t" "$execs" "$wall" "${cov:-?}" "${ft:-?}" "$size" "$crashes" "$rc" "$log"
  if [ "$crashes" -gt 0 ] || [ "$rc" -ne 0 ]; then
    status=1
  fi
done
exit $status

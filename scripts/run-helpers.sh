#!/usr/bin/env bash
# Helpers for run.sh: a program directory that shows live values without
# hardware. Sourced by run.sh, which then execs the program in the same
# process; the simulator is told that process id and ends with the program.

# prepare_program_dir BIN
# When BIN/Main.ini configures no controller port (no file, no or empty
# [ComPort1] Port), points it at the simulator's link BIN/kelosim.tty, puts a
# sample channel set into BIN/Monitor/sample.khd and starts the simulator
# there. A Main.ini whose Port is a simulator link of an earlier run gets its
# simulator started again on that link. Existing settings and channel sets are
# never overwritten; a real port is left alone.
prepare_program_dir() {
  local bin=$1
  local build
  build=$(dirname "$bin")
  if ! cmake --build "$build" --target kelosim >/dev/null; then
    echo "run.sh: the controller simulator did not build; starting without it" >&2
    return 0
  fi
  local link
  if ! link=$("$bin/kelosim" --setup-dir "$bin"); then
    echo "run.sh: could not prepare $bin for the simulator; starting without it" >&2
    return 0
  fi
  [ -n "$link" ] || return 0
  kelo_start_simulator "$bin" "$link"
}

# kelo_simulator_serving LINK
# True when a kelosim process is running with LINK as its --link.
kelo_simulator_serving() {
  local link=$1 p
  for p in /proc/[0-9]*; do
    [ "$(cat "$p/comm" 2>/dev/null)" = kelosim ] || continue
    if tr '\0' '\n' <"$p/cmdline" 2>/dev/null | grep -qxF -- "$link"; then
      return 0
    fi
  done
  return 1
}

# kelo_start_simulator BIN LINK
# Starts kelosim on a new pseudo-terminal behind LINK unless the simulator of
# a run that is still going serves it already; waits until the link is there.
kelo_start_simulator() {
  local bin=$1 link=$2 pid
  if kelo_simulator_serving "$link"; then
    echo "run.sh: a controller simulator already serves $link"
    return 0
  fi
  "$bin/kelosim" --link "$link" --parent-pid "$$" >"$bin/kelosim.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    if [ -L "$link" ] && [ -e "$link" ]; then
      echo "run.sh: controller simulator serves $link (addresses 01-31)"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "run.sh: the controller simulator did not start; see $bin/kelosim.log" >&2
  return 0
}

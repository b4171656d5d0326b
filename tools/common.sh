# Shell functions shared by run.sh, test.sh, bench.sh and the scripts in
# tools/. Sourced, never run; brings tools/deps.sh (the package list) along.
velmora_tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$velmora_tools_dir/deps.sh"

# Commands to run when the script exits, the last registered first. One EXIT
# trap runs them all, so a second clean-up never silently replaces the first.
velmora_exit_actions=()
velmora_run_exit_actions() {
  local i
  for ((i = ${#velmora_exit_actions[@]} - 1; i >= 0; i--)); do
    eval "${velmora_exit_actions[i]}" || true
  done
}
velmora_at_exit() {  # command (a string, run by eval)
  velmora_exit_actions+=("$1")
  trap velmora_run_exit_actions EXIT
}

# Configures a build quietly; its output goes to build/<name>.configure.log
# and is printed only when the configure fails.
velmora_configure() {  # name, cmake arguments...
  local log=build/$1.configure.log
  shift
  mkdir -p build
  if ! cmake "$@" > "$log" 2>&1; then
    cat "$log"
    echo "$(basename "$0"): configure failed (cmake $*), log: $log" >&2
    return 1
  fi
}

# The windows preset's build folder (as CMakePresets.json names it).
velmora_windows_build_dir=build/windows

# Configures the windows preset (mingw-w64) in build/windows and builds
# the targets named, or all of it; VELMORA_JOBS caps the parallel jobs.
velmora_build_windows() {  # [cmake --build arguments...]
  velmora_configure windows --preset windows
  cmake --build --preset windows -j "${VELMORA_JOBS:-$(nproc)}" "$@"
}

# Starts an Xvfb of our own on a free display number (Xvfb picks it),
# exports DISPLAY and stops it when the script exits. Any Wine programs of
# WINEPREFIX still holding the display are waited for first.
velmora_start_xvfb() {
  local display_file pid
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$display_file" > /dev/null 2>&1 &
  pid=$!
  velmora_at_exit "timeout 30 wineserver -w > /dev/null 2>&1; kill $pid 2> /dev/null; wait $pid 2> /dev/null; rm -f '$display_file'"
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  if [ ! -s "$display_file" ]; then
    echo "$(basename "$0"): Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$display_file")"
}

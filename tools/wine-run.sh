#!/usr/bin/env bash
# Runs a Windows program under Wine; the windows preset's CTest uses it as
# its cross-compiling emulator: wine-run.sh <program.exe> [arguments...]
#
# The Wine prefix lives in the build folder of the program (the nearest
# folder above it that holds CMakeCache.txt), as <build>/wineprefix. It is
# created once, with wineboot -i, and reused; WINEPREFIX overrides it.
#
# VELMORA_WINE_AUDIO, when set, names the Wine audio driver that winmm takes
# its MIDI devices from (HKCU\Software\Wine\Drivers, value "Audio"): "vmidi"
# is the virtual MIDI driver of the Windows tests (winevmidi.drv). Unset,
# the prefix keeps what it has. Without a DISPLAY, a private Xvfb is started
# for the run.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi
program=$1
shift

build_dir_of() {
  local dir
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != "/" ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then
      echo "$dir"
      return
    fi
    dir=$(dirname "$dir")
  done
  # Not inside a build folder: keep the prefix beside the program.
  cd "$(dirname "$1")" && pwd
}

build_dir=$(build_dir_of "$program")
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs: the programs need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# One creator at a time: CTest may start several programs at once.
{
  flock 9
  if [ ! -f "$WINEPREFIX/.velmora-prefix-ready" ]; then
    mkdir -p "$WINEPREFIX"
    if ! wineboot -i > "$build_dir/wineboot.log" 2>&1; then
      echo "wine-run.sh: wineboot -i failed, see $build_dir/wineboot.log" >&2
      exit 1
    fi
    wineserver -w  # the registry is on disk once the server has ended
    touch "$WINEPREFIX/.velmora-prefix-ready"
  fi
  if [ -n "${VELMORA_WINE_AUDIO+set}" ]; then
    stamp="$WINEPREFIX/.velmora-audio-driver"
    if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$VELMORA_WINE_AUDIO" ]; then
      wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "$VELMORA_WINE_AUDIO" /f > /dev/null 2>&1
      echo "$VELMORA_WINE_AUDIO" > "$stamp"
    fi
  fi
} 9> "$build_dir/wineprefix.lock"

xvfb_pid=""
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2> /dev/null || true
    wait "$xvfb_pid" 2> /dev/null || true
  fi
}
if [ -z "${DISPLAY:-}" ]; then
  for number in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp > /dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$number" ] && break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2> /dev/null; then
      export DISPLAY=":$number"
      break
    fi
    xvfb_pid=""
  done
  trap stop_xvfb EXIT
fi

status=0
wine "$program" "$@" || status=$?
exit "$status"

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
#
# VELMORA_WINE_DPI, when set to a density other than 96, runs the program in
# a second prefix beside the first, <build>/wineprefix-dpi<N>, whose screen
# has that many dots per inch: a copy of the first (its files hard-linked,
# its registry copied and changed), made once. The density is read when a
# program starts, and the prefixes' programs may run at the same time.
#
# wine-run.sh --prepare <build folder> only creates the prefix.
set -euo pipefail
source "$(dirname "$0")/common.sh"

prepare_only=0
if [ "${1:-}" = "--prepare" ] && [ $# -eq 2 ]; then
  # wine-run.sh --prepare <build folder>: create the prefix (and set the
  # audio driver) without running anything.
  prepare_only=1
  mkdir -p "$2"
  program=$(cd "$2" && pwd)/.prepare
elif [ $# -ge 1 ]; then
  program=$1
  shift
else
  echo "usage: $0 program.exe [arguments...] | $0 --prepare <build folder>" >&2
  exit 2
fi

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

# The audio driver as the prefix's registry file holds it (empty if unset).
audio_driver_on_disk() {
  awk '/^\[Software\\\\Wine\\\\Drivers\]/ { inside = 1; next }
       /^\[/ { inside = 0 }
       inside && /^"Audio"=/ { value = $0; sub(/^"Audio"="/, "", value); sub(/"$/, "", value); print value }' \
    "$WINEPREFIX/user.reg" 2> /dev/null || true
}

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
  # Debian's Wine does not find the fonts it ships (fonts-wine; Marlett
  # draws the caption buttons); the prefix gets its own copies, also a
  # prefix made before the package was installed.
  if [ -d /usr/share/wine/fonts ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2> /dev/null || true
  fi
  if [ -n "${VELMORA_WINE_AUDIO+set}" ] && [ "$(audio_driver_on_disk)" != "$VELMORA_WINE_AUDIO" ]; then
    # Also when only the server holds it yet: setting it again is harmless.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "$VELMORA_WINE_AUDIO" /f > /dev/null 2>&1
    # Let the server write the registry and end, so that the program starts
    # a server of its own: the first window of a program run on the server
    # of a console-only command was seen to fail ("Cannot create the
    # window"). CTest never gets here; windows-tests.sh prepares the driver.
    wineserver -w
  fi
} 9> "$build_dir/wineprefix.lock"

dpi=${VELMORA_WINE_DPI:-96}
if [ "$dpi" != 96 ]; then
  dense_prefix=$build_dir/wineprefix-dpi$dpi
  {
    flock 9
    if [ ! -f "$dense_prefix/.velmora-prefix-ready" ]; then
      rm -rf "$dense_prefix"
      # Wine replaces the registry files it writes (a new file renamed over
      # the old), so the hard links stay with the files nobody writes.
      cp -al "$WINEPREFIX" "$dense_prefix"
      rm -f "$dense_prefix"/*.reg "$dense_prefix/.velmora-prefix-ready"
      hex=$(printf '%08x' "$dpi")
      for reg in "$WINEPREFIX"/*.reg; do
        sed "s/^\"LogPixels\"=dword:.*/\"LogPixels\"=dword:$hex/" "$reg" > "$dense_prefix/$(basename "$reg")"
      done
      touch "$dense_prefix/.velmora-prefix-ready"
    fi
  } 9> "$build_dir/wineprefix-dpi.lock"
  export WINEPREFIX=$dense_prefix
fi

if [ "$prepare_only" = 1 ]; then
  exit 0
fi
if [ -z "${DISPLAY:-}" ]; then
  velmora_start_xvfb
fi

status=0
wine "$program" "$@" || status=$?
exit "$status"

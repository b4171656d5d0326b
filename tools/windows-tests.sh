#!/usr/bin/env bash
# Builds the windows preset (mingw-w64 cross build) and runs its tests under
# Wine over the virtual MIDI devices. Called by test.sh; runs on its own too.
# Exits non-zero when the build or any test fails.
#
# The Wine prefix is build/windows/wineprefix, created on the first run and
# reused. The tests get a display of their own: an Xvfb on a free display
# number, stopped when this script ends.
set -euo pipefail
cd "$(dirname "$0")/.."
source ./tools/common.sh
velmora_install_deps run

build_dir=$velmora_windows_build_dir

echo "=== windows: configure and build"
velmora_build_windows

# Every Wine program of the tests, and the wait for them at the end, use
# this prefix.
export WINEPREFIX="$PWD/$build_dir/wineprefix"
echo "=== windows: Wine prefix"
VELMORA_WINE_AUDIO=vmidi ./tools/wine-run.sh --prepare "$build_dir"
velmora_start_xvfb
wine_version=$(WINEDEBUG=-all wine --version 2> /dev/null || true)
case "$wine_version" in
  wine-8.0*) ;;
  *) echo "windows-tests.sh: the tests are pinned to Wine 8.0 (Debian 12); this is ${wine_version:-no Wine}, results may differ" >&2 ;;
esac
echo "=== windows: test ($wine_version, DISPLAY=$DISPLAY)"
ctest --preset windows -j "${VELMORA_JOBS:-$(nproc)}"

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
source ./tools/deps.sh
velmora_install_deps run

jobs=${VELMORA_JOBS:-$(nproc)}
build_dir=build/windows
mkdir -p build

echo "=== windows: configure and build"
if ! cmake --preset windows > build/windows.configure.log 2>&1; then
  cat build/windows.configure.log
  exit 1
fi
cmake --build --preset windows -j "$jobs"

xvfb_pid=""
xvfb_display_file=""
cleanup() {
  # The prefix's Wine processes end once the tests have; then Xvfb.
  WINEPREFIX="$PWD/$build_dir/wineprefix" timeout 30 wineserver -w > /dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2> /dev/null || true
    wait "$xvfb_pid" 2> /dev/null || true
  fi
  [ -z "$xvfb_display_file" ] || rm -f "$xvfb_display_file"
}
trap cleanup EXIT

echo "=== windows: Wine prefix"
VELMORA_WINE_AUDIO=vmidi ./tools/wine-run.sh --prepare "$build_dir"

xvfb_display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$xvfb_display_file" > /dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$xvfb_display_file" ] && break
  kill -0 "$xvfb_pid" 2> /dev/null || break
  sleep 0.1
done
if [ ! -s "$xvfb_display_file" ]; then
  echo "windows-tests.sh: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$xvfb_display_file")"
wine_version=$(WINEDEBUG=-all wine --version 2> /dev/null || true)
case "$wine_version" in
  wine-8.0*) ;;
  *) echo "windows-tests.sh: the tests are pinned to Wine 8.0 (Debian 12); this is ${wine_version:-no Wine}, results may differ" >&2 ;;
esac
echo "=== windows: test ($wine_version, DISPLAY=$DISPLAY)"
ctest --preset windows -j "$jobs"

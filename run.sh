#!/usr/bin/env bash
# Installs what is missing (Debian), builds Velmora.exe with the windows
# preset and starts it under Wine.
#
#   ./run.sh            the machine's MIDI devices when it has any (ALSA's
#                       sequencer, /dev/snd/seq), the virtual ones otherwise
#   ./run.sh --virtual  always the virtual ones
#
# The virtual devices are those of the Windows tests' MIDI driver: an input
# "Virtual Keyboard" that plays a short phrase on channels 0, 1 and 9 every
# four seconds, and two outputs "Virtual Synth A" and "Virtual Synth B".
# What each synth receives is written, with its time, to the log file whose
# path is printed below.
set -euo pipefail
cd "$(dirname "$0")"

mode=auto
case "${1:-}" in
  "") ;;
  --virtual) mode=virtual ;;
  *) echo "usage: $0 [--virtual]" >&2; exit 2 ;;
esac

source ./tools/common.sh
velmora_install_deps run

build_dir=$velmora_windows_build_dir
echo "=== Building Velmora.exe (windows preset)"
velmora_configure windows --preset windows
targets=(Velmora)
if [ "$mode" = virtual ] || [ ! -e /dev/snd/seq ]; then
  targets+=(velmora_virtual_player winevmidi)
fi
cmake --build --preset windows -j "$(nproc)" --target "${targets[@]}"

exe="$PWD/$build_dir/app/Velmora.exe"
if [ -z "${DISPLAY:-}" ]; then
  echo "Note: no DISPLAY is set; Velmora runs on a virtual screen of its own, out of sight."
fi

if [ "$mode" = auto ] && [ -e /dev/snd/seq ]; then
  echo "=== Starting Velmora with this machine's MIDI devices (ALSA sequencer)"
  echo "Settings: $build_dir/wineprefix/drive_c/users/${USER:-$(id -un)}/AppData/Local/Velmora.ini"
  VELMORA_WINE_AUDIO=alsa exec ./tools/wine-run.sh "$exe"
fi

player="$PWD/$build_dir/tests/gui/velmora_virtual_player.exe"
driver="$PWD/$build_dir/tests/windows/winevmidi.drv"
if [ ! -f "$player" ] || [ ! -f "$driver" ]; then
  echo "The virtual MIDI devices are not available; starting Velmora without MIDI devices."
  exec ./tools/wine-run.sh "$exe"
fi
# winmm loads the driver from the program's folder.
cp "$driver" "$(dirname "$exe")/"
log="$PWD/build/virtual-midi.log"
echo "=== Starting Velmora over virtual MIDI devices"
echo "Input: Virtual Keyboard (plays a bar on channels 0, 1 and 9 every 4 s)"
echo "Outputs: Virtual Synth A, Virtual Synth B"
echo "What the synths receive, with times: $log"
VELMORA_WINE_AUDIO=vmidi exec ./tools/wine-run.sh "$player" "Z:$exe" "Z:$log"

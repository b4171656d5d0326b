#!/usr/bin/env bash
# Builds Velmora.exe (windows preset: mingw-w64, Release, static) and packs
# what a Windows user is handed into build/dist/Velmora-<version>-win64.zip:
# Velmora.exe, LICENSE.txt and ReadMe.txt (app/ReadMe.txt), the two texts
# with Windows line ends. The version is the project's (CMakeLists.txt).
# Reuses build/windows, so after tools/windows-tests.sh nothing is rebuilt.
# Installs what is missing first (Debian). Prints the zip's path.
set -euo pipefail
cd "$(dirname "$0")/.."
source ./tools/common.sh
velmora_install_deps package

echo "=== package: build Velmora.exe (windows preset)"
velmora_build_windows --target Velmora
build_dir=$velmora_windows_build_dir

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
if [ -z "$version" ]; then
  echo "package.sh: no project version in $build_dir/CMakeCache.txt" >&2
  exit 1
fi

name=Velmora-$version-win64
stage=build/dist/$name
zip_file=build/dist/$name.zip
rm -rf "$stage" "$zip_file"
mkdir -p "$stage"
cp "$build_dir/app/Velmora.exe" "$stage/"
# Notepad of older Windows shows LF-only text as one line.
sed 's/\r*$/\r/' LICENSE > "$stage/LICENSE.txt"
sed 's/\r*$/\r/' app/ReadMe.txt > "$stage/ReadMe.txt"
# -X: no Unix owners or extra times, which Windows ignores anyway.
(cd "$stage" && zip -q -X "../$name.zip" Velmora.exe LICENSE.txt ReadMe.txt)
echo "package.sh: wrote $zip_file"

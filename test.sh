#!/usr/bin/env bash
# Builds every preset that the tests need and runs every test.
# Installs what is missing first (Debian). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source ./tools/common.sh
velmora_install_deps test

jobs=$(nproc)
failed=0
run_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  velmora_configure "$preset" --preset "$preset" || return 1
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  ctest --preset "$preset" -j "$jobs"
}

mkdir -p build
for preset in linux linux-asan linux-tsan; do
  run_preset "$preset" || failed=1
done

if [ -f cmake/mingw-w64-x86_64.cmake ]; then
  ./tools/windows-tests.sh || failed=1
fi

./tools/reliability.sh || failed=1

if [ "$failed" -ne 0 ]; then
  echo "test.sh: FAILED"
  exit 1
fi
echo "test.sh: all tests passed"

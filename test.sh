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

# The Windows user's zip: made from the windows tests' build, and holding
# exactly the program, the license and the read-me.
check_package() {
  echo "=== package: tools/package.sh"
  ./tools/package.sh > build/package.log 2>&1 || { cat build/package.log; return 1; }
  local zip_file listed
  zip_file=$(sed -n 's/^package.sh: wrote //p' build/package.log)
  listed=$(unzip -Z1 "$zip_file" | sort | tr '\n' ' ')
  if [ "$listed" != "LICENSE.txt ReadMe.txt Velmora.exe " ]; then
    echo "test.sh: $zip_file holds: $listed"
    return 1
  fi
  echo "=== package: $zip_file holds $listed"
}

mkdir -p build
for preset in linux linux-asan linux-tsan; do
  run_preset "$preset" || failed=1
done

if [ -f cmake/mingw-w64-x86_64.cmake ]; then
  ./tools/windows-tests.sh || failed=1
  check_package || failed=1
fi

./tools/reliability.sh || failed=1

if [ "$failed" -ne 0 ]; then
  echo "test.sh: FAILED"
  exit 1
fi
echo "test.sh: all tests passed"

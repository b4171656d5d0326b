# Installs the Debian packages the build and the tests need, only those that
# are missing, quietly. Sourced through tools/common.sh.
velmora_missing_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

velmora_install_deps() {
  local what=$1
  local packages=(cmake ninja-build g++ libgtest-dev googletest)
  packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 xvfb xauth)
  # Debian's Wine does not find its own Tahoma; without TrueType faces for
  # fontconfig the windows fall back to bitmap fonts. fonts-wine holds Wine's
  # own faces, Marlett among them, which draws the title bars' buttons (the
  # prefix gets copies of them, tools/wine-run.sh).
  packages+=(fonts-liberation fonts-wine)
  case "$what" in
    # test.sh also makes the zip of tools/package.sh and lists it.
    test) packages+=(clang libclang-rt-14-dev imagemagick valgrind zip unzip) ;;
    bench) packages+=(libbenchmark-dev) ;;
    package) packages+=(zip) ;;
    run) ;;
  esac
  local missing
  missing=$(velmora_missing_packages "${packages[@]}")
  if [ -n "$missing" ]; then
    echo "Installing: $missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing > /dev/null
  fi
}

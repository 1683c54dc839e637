#!/usr/bin/env bash
# Installs the Debian packages that a purpose needs, only those that are
# missing. Needs root (apt-get) only when something is missing.
# Usage: scripts/deps.sh [main|test|all]
#   main  what the main job (scripts/main.sh) builds and runs: the compiler,
#         CMake, Qt, zlib and PCRE2 for the programs of the release build
#   test  everything (the default, also `all`): the main set, the test and
#         benchmark libraries, fuzzing, the Windows builds under Wine, the
#         screenshots and the packages with their checks
set -euo pipefail

purpose=${1:-all}

main_packages=(
  cmake g++ make                                             # the build
  zlib1g-dev                                                 # compressed traces and sessions
  qt6-base-dev libgl-dev qt6-charts-dev libqt6opengl6-dev    # the Qt monitor, its call timelines (Charts needs OpenGL's CMake files)
  libpcre2-dev                                               # its status lists' filter
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev                 # the test suites, the benchmarks
  xvfb xauth imagemagick                                     # headless windows, screenshots
  clang libclang-rt-14-dev                                   # fuzzing
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64             # the Windows build under Wine
  libz-mingw-w64-dev                                         # zlib for the Windows build
  fonts-wine                                                 # Wine's own fonts: caption buttons, dialogs
  dpkg-dev fakeroot librsvg2-bin icoutils nsis               # the packages: cpack DEB, icons, installers
  mmdebstrap lintian                                         # testing the Debian package
)

case $purpose in
  main) packages=("${main_packages[@]}"); wine32=no ;;
  test|all) packages=("${main_packages[@]}" "${test_packages[@]}"); wine32=yes ;;
  *) echo "usage: scripts/deps.sh [main|test|all]" >&2; exit 2 ;;
esac

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done

# 32-bit Wine runs the 32-bit Windows programs; it comes from Debian's i386
# architecture, added once.
foreign=()
if [ "$wine32" = yes ] && ! installed wine32:i386; then
  missing+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || foreign+=(i386)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages ($purpose): ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  for arch in "${foreign[@]}"; do
    dpkg --add-architecture "$arch"
  done
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, only those
# that are missing. Needs root (apt-get) only when something is missing.
set -euo pipefail

packages=(
  cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev  # the portable core
  zlib1g-dev                                                 # compressed traces and sessions
  qt6-base-dev libgl-dev qt6-charts-dev libqt6opengl6-dev    # the Qt monitor, its call timelines (Charts needs OpenGL's CMake files)
  libpcre2-dev                                               # its status lists' filter
  xvfb xauth imagemagick                                     # headless windows, screenshots
  clang libclang-rt-14-dev                                   # fuzzing
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64             # the Windows build under Wine
  libz-mingw-w64-dev                                         # zlib for the Windows build
  fonts-wine                                                 # Wine's own fonts: caption buttons, dialogs
  dpkg-dev fakeroot librsvg2-bin icoutils nsis               # the packages: cpack DEB, icons, installers
  mmdebstrap lintian                                         # testing the Debian package
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# 32-bit Wine runs the 32-bit Windows programs; it comes from Debian's i386
# architecture, added once.
foreign=()
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  missing+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || foreign+=(i386)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
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

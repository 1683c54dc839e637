#!/usr/bin/env bash
# Builds every package of one version, the CMake project version, into dist/:
#   dist/linewatch_VERSION_ARCH.deb                 (release build, cpack -G DEB)
#   dist/LineWatch-VERSION-win64-setup.exe          (windows64 build, makensis)
#   dist/LineWatch-VERSION-win32-setup.exe          (windows32 build, makensis)
#   dist/LineWatch-VERSION-win64-devtools.zip       (the simulated driver and its
#   dist/LineWatch-VERSION-win32-devtools.zip        player, for developers)
# Builds only the targets the packages hold, in the preset build folders
# (build/release, build/windows64, build/windows32), reusing what is there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
started=$(date +%s)

echo "--- release: the Debian package"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" --target LineWatch recorder tarvel-decode tarvel-sim linewatch_package_files
rm -rf build/release/deb
(cd build/release && cpack -G DEB >/dev/null)

for preset in windows64 windows32; do
  echo "--- $preset: the installer and the developers' zip"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target installer devzip
done

rm -rf dist
mkdir dist
cp build/release/deb/linewatch_*.deb dist/
cp build/windows64/LineWatch-*-setup.exe build/windows64/LineWatch-*-devtools.zip dist/
cp build/windows32/LineWatch-*-setup.exe build/windows32/LineWatch-*-devtools.zip dist/
echo "packages built in $(( $(date +%s) - started )) s:"
ls -l dist

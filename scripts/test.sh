#!/usr/bin/env bash
# Installs what is missing of everything (scripts/deps.sh test), builds
# everything and runs every test: the debug build, the same suites under
# AddressSanitizer, and the further suites that scripts/test.d/ holds (one
# script each, run in name order).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)

for preset in debug asan; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: tests"
  ctest --preset "$preset" -j "$jobs"
done

for part in scripts/test.d/*.sh; do
  [ -e "$part" ] || continue
  echo "=== $(basename "$part" .sh)"
  bash "$part"
done

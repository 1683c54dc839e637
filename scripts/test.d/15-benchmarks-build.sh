#!/usr/bin/env bash
# The benchmark programs are built by the release preset only, which the
# suites above do not build: compile them all here, so that a change that
# breaks a benchmark fails the test command instead of the next
# measurement. Nothing is timed.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
programs=$(find build/release/bench -maxdepth 1 -type f -perm -u+x -name '*_bench' | wc -l)
echo "benchmarks: $programs programs built"
[ "$programs" -gt 0 ]

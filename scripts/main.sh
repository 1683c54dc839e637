#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and decodes a
# recorded V.34 call with the offline decoder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)"
build/release/tools/tarvel-decode scenarios/v34-call.trace

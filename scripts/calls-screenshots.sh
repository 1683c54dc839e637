#!/usr/bin/env bash
# Pictures of the Qt Calls view: five scenarios played one after the other
# through the in-process simulated driver into an offscreen monitor window.
# Usage: scripts/calls-screenshots.sh [preset] [outdir]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-debug}
out=${2:-build/$preset/screenshots}
tool=build/$preset/tools/calls_view_shots
if [ ! -x "$tool" ]; then
  echo "calls-screenshots: build it first (cmake --build --preset $preset --target calls_view_shots)" >&2
  exit 1
fi
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$tool" "$out" scenarios/v34-call.trace scenarios/error-control-call.trace \
  scenarios/v90-call.trace scenarios/fax-session.trace scenarios/line-drop-call.trace

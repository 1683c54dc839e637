#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs the
# monitor on the simulated driver, which plays a recorded V.34 call and a
# session with capture requests in a private runtime directory. With a
# display the monitor opens its window (the traces replay until the window
# is closed); without one it runs in console mode for the length of the
# traces. Either way the simulator is stopped at the end, and the capture
# files that the monitor wrote are listed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)"

monitor=$root/build/release/monitor/LineWatch
simulator=$root/build/release/simulator/tarvel-sim
traces=("$root/scenarios/v34-call.trace" "$root/scenarios/capture-session.trace")

world=$(mktemp -d /tmp/tarvel-main-XXXXXX)
export TARVEL_SIM_DIR=$world/sim
mkdir -m 700 "$TARVEL_SIM_DIR"
run_dir=$root/build/main-run
rm -rf "$run_dir"
mkdir -p "$run_dir"

monitor_pid=
simulator_pid=
stop_child() {
  if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
  fi
}
cleanup() {
  stop_child "$simulator_pid"
  stop_child "$monitor_pid"
  rm -rf "$world"
}
trap cleanup EXIT

# The monitor starts first and waits for the driver, as it waits for a modem.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "=== LineWatch: the window replays the sessions until you close it"
  (cd "$run_dir" && exec "$monitor") &
  monitor_pid=$!
  sleep 0.5
  "$simulator" --loop "${traces[@]}" &
  simulator_pid=$!
  wait "$monitor_pid" || true
  monitor_pid=
else
  echo "=== LineWatch --console (no display): the status lines of both modems"
  (cd "$run_dir" && exec "$monitor" --console) &
  monitor_pid=$!
  sleep 0.3
  "$simulator" "${traces[@]}"
  sleep 0.3
  stop_child "$monitor_pid"
  monitor_pid=
fi

echo "=== capture files written by the monitor, in $run_dir"
ls -l "$run_dir"

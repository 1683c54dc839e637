#!/usr/bin/env bash
# Installs what is missing of what it builds and runs (scripts/deps.sh main),
# builds the three programs it runs in the release configuration (no tests,
# no benchmarks) and runs the monitor in console mode on the simulated
# driver, which plays a recorded V.34 call and a session with capture
# requests in a private runtime directory. The monitor records what it shows
# into a session file; the script ends by decoding that file with
# tarvel-decode and showing that it gives exactly the lines the monitor
# printed, and by listing the capture files the monitor wrote. With a
# display, the window then opens the recorded session (play it again with its
# Play button) until it is closed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh main
# The release preset with its benchmarks left out: `cmake --preset release`
# brings them back.
cmake --preset release -DTARVEL_BENCH=OFF
cmake --build --preset release -j"$(nproc)" --target LineWatch tarvel-sim tarvel-decode

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
session=$run_dir/demo-session.trace.gz
shown=$run_dir/shown.txt
echo "=== LineWatch --console --record $session: the status lines of both modems"
(cd "$run_dir" && exec "$monitor" --console --record "$session" > >(tee "$shown")) &
monitor_pid=$!
sleep 0.3
"$simulator" "${traces[@]}"
sleep 0.3
stop_child "$monitor_pid"
monitor_pid=
sleep 0.1  # tee writes its last lines

echo "=== tarvel-decode $session"
decoded=$run_dir/decoded.txt
# Driver-internal errors (modem 0) go to the console's standard error, not
# to its list of lines.
"$root/build/release/tools/tarvel-decode" "$session" | grep -v '^0: ' >"$decoded" || true
shown_count=$(wc -l <"$shown")
decoded_count=$(wc -l <"$decoded")
if cmp -s "$shown" "$decoded"; then
  echo "$shown_count lines shown by the monitor; tarvel-decode of the recorded session: $decoded_count lines, identical"
else
  echo "$shown_count lines shown by the monitor; tarvel-decode of the recorded session: $decoded_count lines, DIFFERENT:"
  diff "$shown" "$decoded" | head -20
  exit 1
fi

echo "=== capture files written by the monitor, in $run_dir"
ls -l "$run_dir" | grep -v -e demo-session -e shown.txt -e decoded.txt

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "=== LineWatch $session: the recorded session in the window, until you close it"
  "$monitor" "$session" || true
fi

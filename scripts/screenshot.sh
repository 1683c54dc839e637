#!/usr/bin/env bash
# A screenshot of the monitor's window on a scenario (the V.34 call by
# default): tarvel-sim plays the trace in a private runtime directory,
# LineWatch runs on a private Xvfb display in a private working directory,
# and the screen is written as a PNG once the scenario has played.
# Usage: scripts/screenshot.sh [preset] [output.png] [trace] [LineWatch options...]
# SETTINGS_INI names a settings file for the run (time column, filters, eye
# modes); without it the window starts with its defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
preset=${1:-debug}
out=${2:-build/$preset/screenshots/v34-call.png}
trace=${3:-scenarios/v34-call.trace}
shift $(( $# < 3 ? $# : 3 ))
sim=$root/build/$preset/simulator/tarvel-sim
app=$root/build/$preset/monitor/LineWatch
if [ ! -x "$sim" ] || [ ! -x "$app" ]; then
  echo "screenshot: build the $preset preset first (cmake --build --preset $preset)" >&2
  exit 1
fi
case $out in /*) ;; *) out=$root/$out ;; esac
case $trace in /*) ;; *) trace=$root/$trace ;; esac
mkdir -p "$(dirname "$out")"

work=$(mktemp -d /tmp/linewatch-shot-XXXXXX)
pids=()
cleanup() {
  # Only the processes this script started, newest first.
  for (( i=${#pids[@]}-1; i>=0; i-- )); do
    kill "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # path, tenths of a second
  for (( t=0; t<$2; t++ )); do [ -e "$1" ] && return 0; sleep 0.1; done
  echo "screenshot: $1 did not appear" >&2
  return 1
}

display=
for n in $(shuf -i 50-99); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "screenshot: no free display number" >&2; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for "/tmp/.X11-unix/X$display" 50

export TARVEL_SIM_DIR=$work/world
"$sim" --stay "$trace" >"$work/sim.log" 2>&1 &
pids+=($!)
wait_for "$TARVEL_SIM_DIR/trvlmd" 50

# When to take the picture (SHOT_AT_MS overrides): in the middle of the
# scenario's eye points, when the eye displays show dots and the lists have
# most of the call; for a trace without eye points, after the whole trace.
shot_ms=${SHOT_AT_MS:-$(awk '
  $1 == "wait" { t += $2 }
  $1 == "eye" { eye[n++] = t }
  END { if (n > 0) print eye[int(n / 2)] + 300; else print t + 1000 }' "$trace")}
mkdir -p "$work/run" "$work/config/Tarvel"
if [ -n "${SETTINGS_INI:-}" ]; then
  cp "$SETTINGS_INI" "$work/config/Tarvel/LineWatch.ini"
fi
(cd "$work/run" && exec env DISPLAY=":$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" "$app" "$@") >"$work/app.log" 2>&1 &
pids+=($!)
sleep "$(awk -v ms="$shot_ms" 'BEGIN { print ms / 1000 }')"
# The main window alone (there is no window manager to draw a frame), or the
# whole screen where it cannot be found by its title.
import -display ":$display" -window "Line Watch" "$out" 2>/dev/null ||
  import -display ":$display" -window root "$out"
echo "$out"

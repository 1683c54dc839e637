#!/usr/bin/env bash
# Measures LineWatch.exe under Wine (private Xvfb display, simulated kernel
# driver tarvelsim.sys): how long both status lists take to fill to FILL
# lines each, then how a burst of BURST more lines per modem goes into the
# full lists: from the first new line to the last, and how long the window
# stops answering (the longest WM_NULL round trip, polled every 2 ms by
# linewatch_probe.exe --burst).
#
#   scripts/linewatch-exe-burst.sh [--redraw-off] [--list-costs] [FILL [BURST]]
#
# FILL and BURST are lines per modem (defaults 100000 and 5000: a burst of
# 10,000 records into lists at their bound of 100,000 lines). The fill goes
# into hidden status windows (shown ones cost milliseconds a line under
# Wine); the burst into shown ones. --redraw-off has the probe turn the list
# boxes' redraw off for the burst. --list-costs also times each list box
# call the status windows make per line, in a list box of FILL lines made
# by the probe itself.
#
# Every record is a line measurement (code 65, selector 20) whose line
# ends in the record's running number on its modem: 0 to FILL-1 for the
# fill, FILL on for the burst. The fill is played, the player stopped once
# the probe has seen the lists full, then the burst is played by a second
# player. Prints the probe's figures; exits non-zero only when a sanity
# check failed (the lists did not fill, a line went missing, a list did not
# end at its bound).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
probe_options=()
list_costs=
while [ $# -gt 0 ]; do
  case $1 in
    --redraw-off) probe_options+=(--redraw-off) ;;
    --list-costs) list_costs=1 ;;
    *) break ;;
  esac
  shift
done
fill=${1:-100000}
burst=${2:-5000}

cmake --build --preset windows64 -j2 --target LineWatch linewatch_probe tarvel-sim tarvelsim >/dev/null

wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
w64=$root/build/windows64
work=$(mktemp -d /tmp/tarvel-linewatch-burst.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()

finish() {
  status=$?
  stop_run_processes
  rm -rf "$work"
  exit $status
}
trap finish EXIT

. scripts/lib/wine-checks.sh  # from the checkout, the current directory


start_private_display "$work" || exit 1

export WINEPREFIX=$work/prefix WINEARCH=win64
make_unmanaged_prefix
cp "$w64/simulator/win32/tarvelsim.sys" "$WINEPREFIX/tarvelsim.sys"
"$wine64" sc create tarvelsim type= kernel binPath= "$(winpath "$WINEPREFIX/tarvelsim.sys")" >"$work/sc.log" 2>&1 </dev/null
"$wine64" sc start tarvelsim >>"$work/sc.log" 2>&1 </dev/null || { cat "$work/sc.log"; exit 1; }
"$wine64" reg add 'HKLM\SOFTWARE\Velmora\Tarvel' /v TarvelSetup /t REG_BINARY /d 00000000 /f >/dev/null 2>&1 </dev/null

numbered() {  # FIRST COUNT: records numbered FIRST on, modem 1 and 2 in turn
  awk -v first="$1" -v count="$2" 'BEGIN { for (i = first; i < first + count; i++) printf "rec 1 65 20 %d\nrec 2 65 20 %d\n", i, i }'
}
{ echo "active 2"; numbered 0 "$fill"; echo "wait 3600000"; } >"$work/fill.trace"
{ echo "active 2"; numbered "$fill" "$burst"; echo "wait 3600000"; echo "active 0"; } >"$work/burst.trace"
mkdir -p "$work/run"

play() {  # TRACE: a player in the background; its pid in $player
  (cd "$work" && exec "$wine64" "$w64/simulator/win32/tarvel-sim.exe" "$1" >>sim.out 2>&1 </dev/null) &
  player=$!
  pids+=($player)
}

play fill.trace
started=$(date +%s.%N)
(cd "$work" && exec timeout 1500 "$wine64" "$w64/tests/linewatch_probe.exe" "$(winpath "$w64/monitor/LineWatch.exe")" \
   "$(winpath "$work/run")" "$fill" "$fill" --burst "$burst" "${probe_options[@]}" --wait 600000 >probe.out 2>&1 </dev/null) &
probe=$!
pids+=($probe)
# Once the lists are full: the fill's player goes, the burst's comes.
until [ -e "$work/run/full" ] || ! kill -0 "$probe" 2>/dev/null; do sleep 0.1; done
if [ -e "$work/run/full" ]; then
  echo "lists full after $(echo "$(date +%s.%N) - $started" | bc) s from the start of LineWatch.exe"
  kill "$player" 2>/dev/null || true
  wait "$player" 2>/dev/null || true
  play burst.trace
fi
rc=0
wait "$probe" || rc=$?
grep -v '^probe:' "$work/probe.out" | grep -Ev '^ok: (child|list box style|message hook|main window)' || true
echo "linewatch_probe.exe --burst: exit $rc"
if [ -n "$list_costs" ]; then
  kill "$player" 2>/dev/null || true
  wait "$player" 2>/dev/null || true
  "$wine64" "$w64/tests/linewatch_probe.exe" --list-costs "$fill" </dev/null 2>&1 || rc=1
fi
exit $rc

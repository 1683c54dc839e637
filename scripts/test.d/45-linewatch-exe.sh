#!/usr/bin/env bash
# LineWatch.exe under Wine on a private Xvfb display, against the simulated
# kernel driver tarvelsim.sys, checked from outside by linewatch_probe.exe:
#   - a call on both modems with capture requests (no driver-memory blocks,
#     which a program of the NT family cannot read): both lists hold exactly
#     the lines tarvel-decode gives for the records fed, modem by modem, and
#     exactly the lines the Linux monitor (LineWatch --console) shows for
#     the same trace; menu toggles, close buttons, down-arrow, Ctrl+C; the
#     capture files are byte-identical to the data fed; closing the main
#     window clears the recording flag and ends the program with 0; modem
#     2's eye display shows its points where the isotropic mapping puts them;
#   - the same with the 32-bit LineWatch.exe (in the 64-bit prefix);
#   - driver-internal errors among the lines: one warning box, the lists
#     filling underneath it; the device named by the command tail "  TRVLM";
#   - the command tail " TRVLM x", a device the driver does not have: no line;
#   - a screenshot of the V.34 call, kept as build/windows64/screenshots/
#     linewatch-exe-v34.png;
#   - sessions, recorded there and decoded here: the probe records the call
#     through File > Record Session... (the common save dialog) before the
#     player starts; tarvel-decode of the file gives exactly the lines both
#     lists showed, in order; Monitor > Call Summary shows the calls;
#     File > Open Session... of the file shows the same lines, the last eye
#     points and the summaries tarvel-decode --calls gives; a file that is
#     not a trace gets a message naming its line; LineWatch.exe "FILE", as
#     the shell starts it, opens the file. Screenshots of the call
#     summary, the File menu and the opened session go beside the V.34 one;
#   - on the opened file, the lists' tools: a filter on modem 1's list
#     (its count), File > Save Modem 1 List... and Shown Lines... compared
#     with tarvel-decode's lines, View > Time (and a CSV with its time
#     column), Replay > Step, Play at every speed to the end, and a session
#     file dropped on the window; a screenshot of the filtered list;
#   - the Calls view of the opened file: its list, each call's summary, two
#     calls compared and the exported CSV and JSON are what tarvel-decode
#     --calls (and --compare) gives for the file, and a click on a timeline
#     mark selects the status line of the event's record; screenshots of the
#     timeline and a comparison;
#   - a recording onto a disk that fills up (a 16 KiB tmpfs, skipped where
#     none can be mounted): a message box says why it stopped, and the
#     lines go on arriving.
# LINEWATCH_EXE_ONLY=sessions runs only the sessions (64-bit), of the call
# above or of LINEWATCH_EXE_SESSION_TRACE (a trace without driver memory,
# such as scenarios/v90-call.trace); LINEWATCH_EXE_ONLY=full-disk only the
# full disk; LINEWATCH_EXE_ONLY=calls-many only the Calls view of a session
# of 1,000 calls, its round trips measured.
# Wine draws captions and frames itself (X11 Driver Managed=N), since Xvfb
# has no window manager. Exits non-zero when a check failed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
started=$(date +%s)
jobs=$(nproc)

only=${LINEWATCH_EXE_ONLY:-all}
presets="windows64 windows32"
[ "$only" != all ] && presets=windows64
for preset in $presets; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target LineWatch linewatch_probe tarvel-sim tarvelsim >/dev/null
done
cmake --preset debug >/dev/null
if [ "$only" != all ]; then
  cmake --build --preset debug -j "$jobs" --target tarvel-decode >/dev/null
else
  cmake --build --preset debug -j "$jobs" --target tarvel-decode tarvel-sim LineWatch >/dev/null
fi
echo "built in $(( $(date +%s) - started )) s"

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
decode=$root/build/debug/tools/tarvel-decode
linux_sim=$root/build/debug/simulator/tarvel-sim
linux_monitor=$root/build/debug/monitor/LineWatch
w64=$root/build/windows64
w32=$root/build/windows32
shots=$w64/screenshots
work=$(mktemp -d /tmp/tarvel-linewatch-exe.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()

finish() {
  status=$?
  stop_run_processes
  umount "$work/full-disk/run/full" 2>/dev/null || true
  rm -rf "$work"
  echo "LineWatch.exe part: $(( $(date +%s) - started )) s in all"
  exit $status
}
trap finish EXIT

. scripts/lib/wine-checks.sh  # from the checkout, the current directory
loader_of() { if [ "$(pe_machine "$1")" = 014c ]; then echo "$wine32"; else echo "$wine64"; fi; }

start_private_display "$work" || exit 1

# A fresh 64-bit prefix (it runs the 32-bit programs too) whose windows
# Wine frames itself; one server kept until the end; the driver installed.
export WINEPREFIX=$work/prefix WINEARCH=win64
make_unmanaged_prefix
# The caption buttons are glyphs of Wine's symbol font Marlett (fonts-wine),
# which Wine takes from the Windows fonts folder.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" ||
  fail "Wine's Marlett font (fonts-wine) installed in the prefix"
cp "$w64/simulator/win32/tarvelsim.sys" "$WINEPREFIX/tarvelsim.sys"
"$wine64" sc create tarvelsim type= kernel binPath= "$(winpath "$WINEPREFIX/tarvelsim.sys")" >"$work/sc.log" 2>&1 </dev/null
"$wine64" sc start tarvelsim >>"$work/sc.log" 2>&1 </dev/null || { cat "$work/sc.log"; fail "tarvelsim.sys started"; }
echo "Wine prefix ready after $(( $(date +%s) - started )) s"

# The test call: restart requests start both captures, the records of the
# error-controlled call (no driver memory), then capture data; the modems
# stay active until the player is stopped.
head -c 20000 /dev/urandom >"$work/cap1.a"
head -c 7001 /dev/urandom >"$work/cap1.b"
cat "$work/cap1.a" "$work/cap1.b" >"$work/session.rec.1.expected"
head -c 50000 /dev/zero | tr '\0' '\132' >"$work/session.rec.2.expected"
records() { grep -E '^[[:space:]]*rec[[:space:]]' "$root/scenarios/error-control-call.trace"; }
{
  echo "active 2"
  echo "rec 1 77 10000"
  echo "rec 2 77 10000"
  records
  printf 'cap 1'; od -An -v -tx1 "$work/cap1.a" | tr -d '\n'; echo
  echo "cap 2 fill 50000 5a"
  printf 'cap 1'; od -An -v -tx1 "$work/cap1.b" | tr -d '\n'; echo
  echo "wait 1000"
} >"$work/call.head"
# Modem 2's eye points, 512 a tick for 8 s, all at the square's top left
# corner (-20000, 20000).
corner=$(for _ in $(seq 1 512); do printf ' -20000 20000'; done)
{
  cat "$work/call.head"
  for _ in $(seq 1 80); do echo "eye 2$corner"; echo "wait 100"; done
  echo "wait 120000"; echo "active 0"
} >"$work/call.trace"
{ cat "$work/call.head"; echo "active 0"; } >"$work/call-linux.trace"

# What tarvel-decode gives for the records of a trace, modem by modem: the
# records of modem 1 and 2 that yield a line, less the capture requests
# (codes 77 and 131), which the monitor carries out instead of showing.
decoded_by_modem() {  # TRACE PREFIX
  "$decode" --escape "$1" >"$work/decoded"
  awk -v prefix="$2" '
    function num(s) { s = tolower(s); return s ~ /^0x/ ? hex(substr(s, 3)) : s + 0 }
    function hex(s,   v, i) { v = 0; for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
    NR == FNR { sub(/#.*/, ""); if ($1 == "rec") { modem[++n] = num($2); code[n] = num($3) }; next }
    { i++; if ((modem[i] == 1 || modem[i] == 2) && code[i] != 77 && code[i] != 131 && $0 != "") print > (prefix modem[i]) }
  ' "$1" "$work/decoded"
  touch "${2}1" "${2}2"
}

# What the Linux monitor shows for a trace, modem by modem; PREFIX0 gets the
# driver-internal errors it reports.
linux_by_modem() {  # TRACE PREFIX
  local dir=$work/linux
  mkdir -p "$dir"
  export TARVEL_SIM_DIR=$dir/world
  (cd "$dir" && exec "$linux_monitor" --console --escape >console.out 2>console.err) &
  local monitor=$!
  pids+=($monitor)
  timeout 120 "$linux_sim" "$1" >"$dir/sim.out" 2>&1 || fail "Linux tarvel-sim played $1"
  sleep 0.5
  kill -TERM "$monitor" 2>/dev/null || true
  wait "$monitor" || fail "Linux LineWatch --console ended with $?"
  unset TARVEL_SIM_DIR
  sed -n 's/^1: //p' "$dir/console.out" >"${2}1"
  sed -n 's/^2: //p' "$dir/console.out" >"${2}2"
  sed -n 's/^0: //p' "$dir/console.err" >"${2}0"
  rm -rf "$dir"
}

same_lines() {  # GOT WANT LABEL
  if cmp -s "$1" "$2"; then
    pass "$3 ($(wc -l <"$2") lines)"
  else
    fail "$3"; diff "$2" "$1" | head -10 || true
  fi
}

monitor_key='HKLM\SOFTWARE\Velmora\Tarvel'
# One run: the player plays TRACE, the probe starts LINEWATCH and checks it.
probe_run() {  # LABEL BUILD TRACE LINES1 LINES2 [player and probe options after --]
  local label=$1 build=$2 trace=$3 lines1=$4 lines2=$5; shift 5
  local dir=$work/$label
  mkdir -p "$dir/run"
  cp "$trace" "$dir/play.trace"
  "$(loader_of "$build/monitor/LineWatch.exe")" reg add "$monitor_key" /v TarvelSetup /t REG_BINARY /d 00000000 /f >/dev/null 2>&1 </dev/null
  local player_options=() probe_options=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do player_options+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  probe_options=("$@")
  (cd "$dir" && exec timeout 300 "$wine64" "$w64/simulator/win32/tarvel-sim.exe" "${player_options[@]}" play.trace >sim.out 2>&1 </dev/null) &
  local player=$!
  pids+=($player)
  local rc=0 t0
  t0=$(date +%s)
  (cd "$dir" && timeout 180 "$(loader_of "$build/tests/linewatch_probe.exe")" "$build/tests/linewatch_probe.exe" \
     "$(winpath "$build/monitor/LineWatch.exe")" "$(winpath "$dir/run")" "$lines1" "$lines2" "${probe_options[@]}" \
     >probe.out 2>&1 </dev/null) || rc=$?
  sed "s/^/  $label: /" "$dir/probe.out" | grep -v '^  [^:]*: probe:' || true
  if [ $rc -eq 0 ]; then
    pass "$label: linewatch_probe.exe, $(grep -o '[0-9]* passed' "$dir/probe.out") in $(( $(date +%s) - t0 )) s"
  else
    fail "$label: linewatch_probe.exe (exit $rc)"
  fi
  kill "$player" 2>/dev/null || true
  wait "$player" 2>/dev/null || true
}

# The lines of a session file, modem by modem, as tarvel-decode prints
# them ("MODEM: line", escaped).
# A list box shows a line that ends in line breaks without them (the store
# and copies keep them): PREFIXlisted.M are the lines as the list shows them.
session_by_modem() {  # SESSION PREFIX
  "$decode" --escape "$1" >"$work/session.decoded" || fail "tarvel-decode read $1"
  local m
  for m in 1 2; do
    sed -n "s/^$m: //p" "$work/session.decoded" >"${2}$m"
    sed -E 's/(\\[nr])+$//' "${2}$m" >"${2}listed.$m"
  done
}

# The summary of modem M's last call as tarvel-decode --calls prints it
# (without its "Call N" heading), and as the call summary child shows it
# (without its "Modem M, last call" heading).
decoded_last_call() {  # SESSION MODEM
  "$decode" --calls "$1" | awk -v m="$2" '
    /^Call [0-9]+$/ { inside = 1; body = ""; next }
    inside && $0 == "" { if (modem == m) last = body; inside = 0; next }
    inside { body = body $0 "\n"; if ($1 == "Modem") modem = $2 }
    END { if (inside && modem == m) last = body; printf "%s", last }'
}
shown_last_call() {  # SUMMARY MODEM
  awk -v m="$2" '
    $0 ~ "^Modem " m ", last call" { inside = 1; next }
    inside && $0 == "" { exit }
    inside { print }' "$1"
}
# The rows of a summary that come from the records alone, not from times.
record_rows() { grep -E '^(Modulation|Rx rate final|Tx rate final|Retrains|Renegotiations|Error control|Compression|Cleardown) ' || true; }

# Shots the probe asks for (WORKDIR/shot-NAME): the screen taken, then
# WORKDIR/shot-NAME.done lets it go on.
shoot_on_request() {  # WORKDIR
  local marker name
  while :; do
    for marker in "$1"/shot-*; do
      [ -e "$marker" ] || continue
      case $marker in *.done) continue ;; esac
      [ -e "$marker.done" ] && continue
      name=${marker##*/shot-}
      sleep 0.5  # the last repaint
      import -display "$DISPLAY" -window root "$shots/linewatch-exe-$name.png" 2>/dev/null || true
      : >"$marker.done"
    done
    sleep 0.2
  done
}

# One recording run in DIR: the probe starts LineWatch.exe and its
# recording, then the player plays DIR/play.trace (so that the file holds
# every line); the probe's checks are reported under LABEL.
recording_run() {  # DIR LABEL LINES1 LINES2 [probe options]
  local dir=$1 label=$2 lines1=$3 lines2=$4 rc=0 t0
  shift 4
  "$wine64" reg add "$monitor_key" /v TarvelSetup /t REG_BINARY /d 00000000 /f >/dev/null 2>&1 </dev/null
  t0=$(date +%s)
  (cd "$dir" && exec timeout 240 "$wine64" "$w64/tests/linewatch_probe.exe" "$(winpath "$w64/monitor/LineWatch.exe")" \
     "$(winpath "$dir/run")" "$lines1" "$lines2" "$@" >probe.out 2>&1 </dev/null) &
  local probe=$!
  pids+=($probe)
  wait_for "$dir/run/recording" 600 || fail "$label: the probe started a recording"
  (cd "$dir" && exec timeout 300 "$wine64" "$w64/simulator/win32/tarvel-sim.exe" play.trace >sim.out 2>&1 </dev/null) &
  local player=$!
  pids+=($player)
  wait "$probe" || rc=$?
  sed "s/^/  $label: /" "$dir/probe.out" | grep -v '^  [^:]*: probe:' || true
  if [ $rc -eq 0 ]; then
    pass "$label: linewatch_probe.exe, $(grep -o '[0-9]* passed' "$dir/probe.out") in $(( $(date +%s) - t0 )) s"
  else
    fail "$label: linewatch_probe.exe (exit $rc)"
  fi
  kill "$player" 2>/dev/null || true
  wait "$player" 2>/dev/null || true
}

# The Calls view of the opened session, as linewatch_probe.exe wrote it
# into RUNDIR (its list, each call's summary, a click on a timeline mark,
# two calls compared, the exported files), against tarvel-decode --calls
# of the session and the trace played.
calls_view_part() {  # SESSION RUNDIR TRACE
  if ! command -v python3 >/dev/null; then
    skip "the Calls view compared with tarvel-decode (no python3)"; return 0
  fi
  local line
  while IFS= read -r line; do
    case $line in
      "ok: "*) pass "sessions: ${line#ok: }" ;;
      "skipped: "*) skip "sessions: ${line#skipped: }" ;;
      *) fail "sessions: ${line#FAILED: }" ;;
    esac
  done < <(python3 scripts/lib/calls_view_check.py "$decode" "$1" "$2" "$3" 2>&1 || echo "FAILED: calls_view_check.py ran to its end")
}

session_part() {  # TRACE DECODED-PREFIX [probe options]
  local trace=$1 decoded=$2; shift 2
  local dir=$work/session name=session.trace.gz
  mkdir -p "$dir/run" "$shots"
  cp "$trace" "$dir/play.trace"
  shoot_on_request "$dir/run" &
  local shooter=$!
  pids+=($shooter)
  recording_run "$dir" sessions "$(wc -l <"${decoded}1")" "$(wc -l <"${decoded}2")" --session "$name" "$@"
  kill "$shooter" 2>/dev/null || true
  wait "$shooter" 2>/dev/null || true

  local file=$dir/run/$name
  if [ "$(od -An -tx1 -N2 "$file" 2>/dev/null | tr -d ' ')" = 1f8b ]; then
    pass "sessions: $name recorded compressed ($(stat -c %s "$file") bytes)"
  else
    fail "sessions: $name recorded compressed"
  fi
  session_by_modem "$file" "$work/session."
  local m
  for m in 1 2; do
    same_lines "$dir/run/list$m.txt" "$work/session.listed.$m" "sessions: tarvel-decode of the file gives what modem $m's list showed"
    sed -E 's/(\\[nr])+$//' "$decoded$m" >"$work/played.$m"
    same_lines "$dir/run/list$m.txt" "$work/played.$m" "sessions: modem $m's list showed every line played"
    same_lines "$dir/run/list$m.open.txt" "$dir/run/list$m.txt" "sessions: the opened file shows modem $m's lines as live"
    # Both give the wall clock of a session's start and end; the rows are compared without it.
    decoded_last_call "$file" $m | sed -E 's/ \([0-9T:.-]+Z\)$//' >"$work/want-call.$m"
    shown_last_call "$dir/run/summary-open.txt" $m | sed -E 's/ \([0-9T:.-]+Z\)$//' >"$work/shown-call.$m"
    if [ ! -s "$work/want-call.$m" ]; then
      grep -qx "Modem $m: no call yet" "$dir/run/summary-open.txt" && pass "sessions: no call of modem $m, and the summary says so" ||
        fail "sessions: the summary of modem $m, which had no call"
      continue
    fi
    same_lines "$work/shown-call.$m" "$work/want-call.$m" "sessions: the opened file's call summary of modem $m is tarvel-decode --calls' last call"
    shown_last_call "$dir/run/summary-live.txt" $m | record_rows >"$work/live-rows.$m"
    record_rows <"$work/want-call.$m" >"$work/want-rows.$m"
    [ -s "$work/want-rows.$m" ] || fail "sessions: rows of modem $m's call to compare"
    same_lines "$work/live-rows.$m" "$work/want-rows.$m" "sessions: the live call summary of modem $m: modulation, rates, retrains, cleardown as decoded"
  done
  # The lists' tools on the opened file: the filter keeps the lines that
  # hold its text (any case), the saved files hold the lines as the store
  # keeps them, one a row; the replay shows the file's lines again.
  grep -iF lapm "$work/session.listed.1" >"$work/filtered.1" || true
  same_lines "$dir/run/list1.filtered.txt" "$work/filtered.1" "list tools: modem 1's filter \"lapm\" shows the lines that hold it"
  same_lines "$dir/run/list2.filtered.txt" "$work/session.listed.2" "list tools: modem 2's list keeps its lines under modem 1's filter"
  while IFS= read -r line; do printf '%b\n' "$line"; done <"$work/session.1" >"$work/saved-all.1"
  grep -iF lapm "$work/session.1" | while IFS= read -r line; do printf '%b\n' "$line"; done >"$work/saved-shown.1"
  cmp -s "$dir/run/all1.txt" "$work/saved-all.1" && pass "list tools: File > Save Modem 1 List... holds every line of the file" ||
    fail "list tools: the saved list differs from tarvel-decode's lines"
  cmp -s "$dir/run/shown1.txt" "$work/saved-shown.1" && pass "list tools: Save Modem 1 Shown Lines... holds the filtered lines" ||
    fail "list tools: the saved shown lines differ from tarvel-decode's filtered lines"
  for m in 1 2; do
    same_lines "$dir/run/list$m.replay.txt" "$work/session.listed.$m" "replay: modem $m's list shows the file's lines again"
  done
  [ -s "$shots/linewatch-exe-list-tools.png" ] && pass "screenshot: $shots/linewatch-exe-list-tools.png" || fail "screenshot list-tools"
  calls_view_part "$file" "$dir/run" "$dir/play.trace"
  # The file opened from the shell: its path as the command tail, quoted.
  cp "$file" "$work/opened.trace.gz"
  probe_run opened-file "$w64" "$trace" "$(wc -l <"$work/session.1")" "$(wc -l <"$work/session.2")" -- \
    --tail " \"$(winpath "$work/opened.trace.gz")\"" --caption "Line Watch - opened.trace.gz" "$@"
  for m in 1 2; do
    same_lines "$work/opened-file/run/list$m.txt" "$work/session.listed.$m" "sessions: LineWatch.exe FILE shows modem $m's lines of the file"
  done
  # LINEWATCH_EXE_KEEP=DIR keeps the run's files for a look.
  [ -n "${LINEWATCH_EXE_KEEP:-}" ] && cp -r "$dir" "$LINEWATCH_EXE_KEEP"
  for shot in call-summary file-menu opened calls-timeline calls-compare; do
    [ -s "$shots/linewatch-exe-$shot.png" ] && pass "screenshot: $shots/linewatch-exe-$shot.png" || fail "screenshot $shot"
  done
}

# A recording onto a disk that fills up (a 16 KiB tmpfs, where this
# machine lets root mount one): eye points first, which fill it, then the
# call's records, which must still reach the lists.
full_disk_part() {
  local dir=$work/full-disk
  mkdir -p "$dir/run/full"
  if ! mount -t tmpfs -o size=16k tmpfs "$dir/run/full" 2>/dev/null; then
    echo "skipped: the full disk (no tmpfs can be mounted here)"; return 0
  fi
  { echo "active 2"; for _ in $(seq 1 30); do echo "eye 2$corner"; echo "wait 100"; done
    records; echo "wait 120000"; echo "active 0"; } >"$dir/play.trace"
  decoded_by_modem "$dir/play.trace" "$work/full."
  recording_run "$dir" "full disk" "$(wc -l <"$work/full.1")" "$(wc -l <"$work/full.2")" --full-disk 'full\s.trace'
  umount "$dir/run/full" 2>/dev/null || true
}

# A session of 1,000 calls (the error-controlled call on both modems, 500
# times, LINEWATCH_EXE_CALL_PAIRS to change) opened as the shell opens a
# file: the probe shows the Calls view, selects and compares calls and
# scrolls the list, and prints the longest WM_NULL round trip of each.
calls_many_part() {
  local dir=$work/calls-many pairs=${LINEWATCH_EXE_CALL_PAIRS:-500}
  mkdir -p "$dir"
  { echo "active 2"; for _ in $(seq 1 "$pairs"); do records; echo "wait 1000"; done; echo "active 0"; } >"$dir/many.trace"
  local calls
  calls=$("$decode" --calls "$dir/many.trace" | grep -c '^Call [0-9]*$' || true)
  printf 'active 0\nwait 1000\n' >"$dir/idle.trace"
  probe_run calls-many "$w64" "$dir/idle.trace" 0 0 -- --tail " \"$(winpath "$dir/many.trace")\"" \
    --caption "Line Watch - many.trace" --calls-timing "$calls"
}

decoded_by_modem "$work/call.trace" "$work/decoded."
if [ "$only" = calls-many ]; then
  calls_many_part
  echo "LineWatch.exe: $passes passed, $failures failed"
  [ $failures -eq 0 ]
  exit
fi
if [ "$only" = full-disk ]; then
  full_disk_part
  echo "LineWatch.exe: $passes passed, $failures failed"
  [ $failures -eq 0 ]
  exit
fi
if [ "$only" = sessions ]; then
  if [ -n "${LINEWATCH_EXE_SESSION_TRACE:-}" ]; then
    # The modems stay active until every record has been fetched.
    { grep -v '^active 0' "$LINEWATCH_EXE_SESSION_TRACE"; echo "wait 120000"; echo "active 0"; } >"$work/scenario.trace"
    decoded_by_modem "$work/scenario.trace" "$work/scenario."
    session_part "$work/scenario.trace" "$work/scenario."
  else
    session_part "$work/call.trace" "$work/decoded." --eye-corner
  fi
  echo "LineWatch.exe: $passes passed, $failures failed"
  [ $failures -eq 0 ]
  exit
fi
linux_by_modem "$work/call-linux.trace" "$work/linux."
same_lines "$work/linux.1" "$work/decoded.1" "the Linux monitor shows for modem 1 what tarvel-decode gives"
same_lines "$work/linux.2" "$work/decoded.2" "the Linux monitor shows for modem 2 what tarvel-decode gives"

for build in "$w64" "$w32"; do
  bits=$(basename "$build")
  if [ "$(loader_of "$build/monitor/LineWatch.exe")" = "$wine32" ] && ! runs_32bit; then
    skip "$bits LineWatch.exe (this machine cannot run 32-bit programs)"; continue
  fi
  probe_run "$bits" "$build" "$work/call.trace" "$(wc -l <"$work/decoded.1")" "$(wc -l <"$work/decoded.2")" -- --recording --eye-corner
  for m in 1 2; do
    same_lines "$work/$bits/run/list$m.txt" "$work/decoded.$m" "$bits LineWatch.exe: modem $m's list holds what tarvel-decode gives"
    same_lines "$work/$bits/run/list$m.txt" "$work/linux.$m" "$bits LineWatch.exe: modem $m's list holds what the Linux monitor shows"
    if cmp -s "$work/$bits/run/session.rec.$m" "$work/session.rec.$m.expected"; then
      pass "$bits LineWatch.exe: session.rec.$m byte-identical to the data fed ($(stat -c %s "$work/session.rec.$m.expected") bytes)"
    else
      fail "$bits LineWatch.exe: session.rec.$m differs from the data fed ($(stat -c %s "$work/$bits/run/session.rec.$m" 2>/dev/null || echo no file))"
    fi
  done
  [ "$(pe_machine "$build/monitor/LineWatch.exe")" = "$([ "$bits" = windows32 ] && echo 014c || echo 8664)" ] &&
    pass "$bits LineWatch.exe is a $( [ "$bits" = windows32 ] && echo 32 || echo 64)-bit image" || fail "$bits LineWatch.exe image type"
done

# Driver-internal errors among the lines of two modems: the first error
# opens the warning box, the others come while it is open and are dropped.
grep -v '^active 0' "$root/scenarios/internal-errors.trace" >"$work/errors.head"
{ cat "$work/errors.head"; echo "wait 120000"; echo "active 0"; } >"$work/errors.trace"
{ cat "$work/errors.head"; echo "wait 1000"; echo "active 0"; } >"$work/errors-linux.trace"
decoded_by_modem "$work/errors.trace" "$work/errors."
linux_by_modem "$work/errors-linux.trace" "$work/errors-linux."
probe_run errors "$w64" "$work/errors.trace" "$(wc -l <"$work/errors.1")" "$(wc -l <"$work/errors.2")" -- --warning --tail "  TRVLM"
for m in 1 2; do
  same_lines "$work/errors/run/list$m.txt" "$work/errors.$m" "errors: modem $m's list holds what tarvel-decode gives, the warning box open"
done
head -1 "$work/errors-linux.0" >"$work/errors.first"
same_lines "$work/errors/run/warning.txt" "$work/errors.first" "errors: the warning box shows the first driver-internal error, as the Linux monitor reports it"

# The whole command tail names the device: a name the driver does not
# have gives no line (the driver's names are trvlmd and TRVLM).
probe_run tail "$w64" "$work/errors.trace" 0 0 -- --tail " TRVLM x" --silence 3000

# The V.34 call, played in a loop, for a screenshot taken while the probe
# holds the window open. Eye points come in bursts: of three pictures a
# few ticks apart the one with the most dots (the largest PNG) is kept.
v34_lines=$("$decode" --escape "$root/scenarios/v34-call.trace" | wc -l)
mkdir -p "$shots"
(
  dir=$work/v34
  wait_for "$dir/run/ready" 600 || exit 0
  for k in 1 2 3; do import -display "$DISPLAY" -window root "$work/shot$k.png" 2>/dev/null || true; sleep 0.35; done
  ls -S "$work"/shot*.png 2>/dev/null | head -1 | xargs -r -I{} cp {} "$shots/linewatch-exe-v34.png"
) &
shooter=$!
pids+=($shooter)
probe_run v34 "$w64" "$root/scenarios/v34-call.trace" $((v34_lines / 2)) 0 --loop -- --at-least --hold 2500
wait "$shooter" || true
if [ -s "$shots/linewatch-exe-v34.png" ]; then
  pass "screenshot of the V.34 call: $shots/linewatch-exe-v34.png"
else
  fail "screenshot of the V.34 call"
fi

session_part "$work/call.trace" "$work/decoded." --eye-corner
calls_many_part
full_disk_part

echo "LineWatch.exe: $passes passed, $failures failed, $skips skipped"
[ $failures -eq 0 ]

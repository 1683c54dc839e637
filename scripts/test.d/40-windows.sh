#!/usr/bin/env bash
# The Windows build under Wine: builds the 64-bit and 32-bit programs, then,
# in a Wine prefix of its own (removed afterwards) with one wineserver kept
# for the run, runs
#   - the portable unit tests built for Windows,
#   - the Win32 backend against Wine's registry and the simulated kernel
#     driver tarvelsim.sys (installed as a service with sc),
#   - recorder.exe end to end against tarvel-sim.exe and the driver,
#     including Ctrl+C through its console control handler.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
started=$(date +%s)
jobs=$(nproc)

for preset in windows64 windows32; do
  echo "--- $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
echo "built in $(( $(date +%s) - started )) s"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d /tmp/tarvel-windows.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY  # console programs only; Wine needs no display for them

finish() {
  status=$?
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$work"
  echo "Windows part: $(( $(date +%s) - started )) s in all"
  exit $status
}
trap finish EXIT

passes=0
failures=0
pass() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
check() { if eval "$1"; then pass "$2"; else fail "$2"; fi; }
# The machine type in a PE image's header: 8664 (x86-64) or 014c (i386).
pe_machine() {
  local at
  at=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -tx2 -j $((at + 4)) -N 2 "$1" | tr -d ' '
}

# The prefix first, and the end of its first boot (services started before
# it has finished are lost), then one server kept for the whole run.
"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w
"$wineserver" -p
echo "Wine prefix ready after $(( $(date +%s) - started )) s"

w64=$root/build/windows64
# Runs a Windows program; its output goes to the named file.
run() { local out=$1; shift; "$wine" "$@" >"$out" 2>&1 </dev/null; }

echo "--- portable unit tests (64-bit)"
for test in "$w64"/tests/test_*.exe; do
  name=$(basename "$test" .exe)
  [ "$name" = test_win32_driver ] && continue
  if run "$work/$name.log" "$test"; then
    pass "$name ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$work/$name.log"))"
  else
    cat "$work/$name.log"; fail "$name"
  fi
done

echo "--- the Win32 backend against the registry and tarvelsim.sys"
cp "$w64/simulator/win32/tarvelsim.sys" "$work/"
driver_path="Z:${work//\//\\}\\tarvelsim.sys"  # Wine's drive Z: is the root
run "$work/sc.log" sc create tarvelsim type= kernel binPath= "$driver_path" || { cat "$work/sc.log"; fail "sc create"; }
run "$work/sc.log" sc start tarvelsim || { cat "$work/sc.log"; fail "sc start"; }
if run "$work/driver.log" "$w64/tests/test_win32_driver.exe"; then
  pass "test_win32_driver ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$work/driver.log"))"
else
  cat "$work/driver.log"; fail test_win32_driver
fi

echo "--- recorder.exe end to end"
sim=$w64/simulator/win32/tarvel-sim.exe
recorder=$w64/recorder/recorder.exe
reg_key='HKLM\SOFTWARE\Ostrand\Tarvel'
# TarvelSetup under the recorder's key as hex, or "missing".
setup_value() {
  "$wine" reg query "$reg_key" /v TarvelSetup 2>/dev/null | tr -d '\r' |
    awk '$1 == "TarvelSetup" { print $3; found = 1 } END { if (!found) print "missing" }'
}

# No driver installed for the recorder yet: its key is missing.
"$wine" reg delete "$reg_key" /f >/dev/null 2>&1 || true
mkdir -p "$work/none" && cd "$work/none"
rc=0; run "$work/none.out" "$recorder" || rc=$?
cd "$root"
check '[ $rc -eq 0 ] && [ "$(tr -d "\r" < "$work/none.out")" = "Tarvel driver not installed" ] && [ -z "$(ls "$work/none")" ]' \
  "missing key: \"Tarvel driver not installed\", exit 0, no file"

# A session of two modems: data that the player can only feed as the
# recorder reads it (more than the driver's queue holds).
mkdir -p "$work/e2e" && cd "$work/e2e"
head -c 150000 /dev/urandom > one.a
head -c 70001 /dev/urandom > one.b
head -c 3000000 /dev/zero | tr '\0' '\132' > two.expected
cat one.a one.b > one.expected
{
  echo "wait 1500"
  echo "active 2"
  printf 'cap 1'; od -An -v -tx1 one.a | tr -d '\n'; echo
  echo "cap 2 fill 3000000 5a"
  printf 'cap 1'; od -An -v -tx1 one.b | tr -d '\n'; echo
  echo "wait 2000"
  echo "active 0"
} > session.trace
"$wine" reg add "$reg_key" /f >/dev/null 2>&1
"$wine" reg add "$reg_key" /v TarvelSetup /t REG_BINARY /d 404142434445 /f >/dev/null 2>&1
"$wine" "$sim" --log calls.log session.trace >sim.out 2>&1 </dev/null &
sim_pid=$!
mkdir rec && cd rec
"$wine" "$recorder" >../rec.out 2>&1 </dev/null &
rec_pid=$!
flag_during=missing
for _ in $(seq 1 100); do
  if grep -q 'Port(s) opened' ../rec.out 2>/dev/null; then flag_during=$(setup_value); break; fi
  sleep 0.1
done
rec_rc=0; wait $rec_pid || rec_rc=$?
sim_rc=0; wait $sim_pid || sim_rc=$?
cd "$work/e2e"
check '[ $sim_rc -eq 0 ]' "tarvel-sim.exe played the session (exit $sim_rc)"
check '[ $rec_rc -eq 0 ]' "recorder.exe exit code 0"
check '[ "$(tr -d "\r" < rec.out)" = "$(printf "Port(s) opened\nPort(s) closed")" ]' "recorder.exe printed Port(s) opened, Port(s) closed"
check 'cmp -s rec/session.rec.1 one.expected' "session.rec.1 byte-identical to the data fed for modem 1 ($(stat -c %s one.expected) bytes)"
check 'cmp -s rec/session.rec.2 two.expected' "session.rec.2 byte-identical to the data fed for modem 2 ($(stat -c %s two.expected) bytes)"
check '[ "$flag_during" = "414142434445" ]' "TarvelSetup bit 0 set while recording, other bytes kept ($flag_during)"
check '[ "$(setup_value)" = "404142434445" ]' "TarvelSetup bit 0 cleared at the end, other bytes kept"
check 'grep -q "^IOCTL_TARVEL_READ_CAPTURE 1 " calls.log && ! grep -qv "^IOCTL_TARVEL_READ_CAPTURE [01] [0-9]*$" calls.log' \
  "the driver served only capture reads of modems 1 and 2 ($(wc -l < calls.log) calls)"

# Ctrl+C through the console control handler: the recorder runs in a
# terminal, where Wine turns ^C into CTRL_C_EVENT; the device is named by
# the argument TRVLM.
mkdir -p "$work/ctrlc" && cd "$work/ctrlc"
{
  echo "wait 1000"
  echo "active 1"
  echo "cap 1 fill 200000 33"
  echo "wait 6000"
  echo "active 0"
} > session.trace
head -c 200000 /dev/zero | tr '\0' '\063' > one.expected
"$wine" reg add "$reg_key" /v TarvelSetup /t REG_BINARY /d 00000000 /f >/dev/null 2>&1
"$wine" "$sim" session.trace >sim.out 2>&1 </dev/null &
sim_pid=$!
mkdir rec && cd rec
# Wine's terminal console draws every character between escape sequences
# and blanks as cursor moves: read the output without them.
console_text() { sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$1" | tr -d '\r '; }
{ for _ in $(seq 1 100); do console_text ../rec.out 2>/dev/null | grep -q 'Port(s)opened' && break; sleep 0.1; done
  sleep 1; printf '\003'; sleep 2; } |
  script -qec "$wine $recorder TRVLM" /dev/null >../rec.out 2>&1 &
rec_pid=$!
rec_rc=0; wait $rec_pid || rec_rc=$?
cd "$work/ctrlc"
printed=$(console_text rec.out | grep -o 'Port([s])[a-z]*' | tr '\n' '|')
if [ "$printed" = "Port(s)opened|Port(s)closed|" ] && [ "$(setup_value)" = "00000000" ] && cmp -s rec/session.rec.1 one.expected; then
  pass "Ctrl+C ended recording like its end: Port(s) closed, flag cleared, session.rec.1 complete"
else
  fail "Ctrl+C (printed '$printed', TarvelSetup $(setup_value), session.rec.1 $(stat -c %s rec/session.rec.1 2>/dev/null) bytes)"
fi
wait $sim_pid || true
cd "$root"

echo "--- driver service removed"
run "$work/remove.out" "$sim" --remove || { cat "$work/remove.out"; fail "tarvel-sim --remove"; }

echo "--- 32-bit programs"
for program in recorder/recorder.exe simulator/win32/tarvel-sim.exe simulator/win32/tarvelsim.sys tests/test_decoder.exe; do
  check '[ "$(pe_machine "build/windows32/$program")" = 014c ]' "build/windows32/$program is a 32-bit Windows image"
done

echo "Windows: $passes passed, $failures failed"
[ $failures -eq 0 ]

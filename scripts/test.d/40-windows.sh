#!/usr/bin/env bash
# The Windows build under Wine: builds the 64-bit and 32-bit programs, then,
# in Wine prefixes of its own (removed afterwards), each with one wineserver
# kept for the run, runs
#   - the portable unit tests built for Windows (64-bit and 32-bit),
#   - tarvel-sim.exe's service handling while the service database is locked,
#   - the Win32 backend against Wine's registry and the simulated kernel
#     driver tarvelsim.sys, installed as a service with sc,
#   - recorder.exe end to end against tarvel-sim.exe and the driver,
#     including Ctrl+C through its console control handler.
# The 64-bit driver runs in a 64-bit prefix, which also runs the 32-bit
# programs; the 32-bit driver runs in a 32-bit prefix of its own.
# Exits non-zero when a check failed.
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

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d /tmp/tarvel-windows.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY  # console programs only: Wine needs no display for them
prefixes=()

finish() {
  status=$?
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
    WINEPREFIX=$prefix "$wineserver" -w 2>/dev/null || true
  done
  rm -rf "$work"
  echo "Windows part: $(( $(date +%s) - started )) s in all"
  exit $status
}
trap finish EXIT

. scripts/lib/wine-checks.sh  # from the checkout, the current directory
check() { if eval "$1"; then pass "$2"; else fail "$2"; fi; }
# Wine's terminal console draws every character between escape sequences
# and blanks as cursor moves: its output without them.
console_text() { sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$1" | tr -d '\r '; }
tests_ran() { grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$1" || echo "no test ran"; }

# A fresh prefix: its first boot finished (services started before it has
# are lost), then one server kept until the end.
make_prefix() {
  export WINEPREFIX=$work/$1 WINEARCH=$2
  prefixes+=("$WINEPREFIX")
  "$wine64" wineboot -i >/dev/null 2>&1 || "$wine32" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  "$wineserver" -p
  echo "Wine prefix $1 ($2) ready after $(( $(date +%s) - started )) s"
}

# Runs a Windows program with the loader of its bitness; output to a file.
# Nothing here takes minutes: a program still running after 5 fails.
run() {
  local out=$1 program=$2; shift 2
  local loader=$wine64
  [ "$(pe_machine "$program")" = 014c ] && loader=$wine32
  timeout 300 "$loader" "$program" "$@" >"$out" 2>&1 </dev/null
}
run_sc() { "$wine64" sc "$@" >"$work/sc.log" 2>&1 </dev/null || "$wine32" sc "$@" >"$work/sc.log" 2>&1 </dev/null; }
# The registry as the recorder under test sees it: a 32-bit program on 64-bit
# Windows has a 32-bit view of SOFTWARE, which the 32-bit reg.exe shares.
reg_loader=$wine64
reg_view_of() { reg_loader=$wine64; [ "$(pe_machine "$1/recorder/recorder.exe")" = 014c ] && reg_loader=$wine32; return 0; }
reg() { "$reg_loader" reg "$@" 2>/dev/null </dev/null || { [ "$WINEARCH" = win32 ] && "$wine32" reg "$@" 2>/dev/null </dev/null; }; }

unit_tests() {  # BUILD
  for test in "$1"/tests/test_*.exe; do
    local name
    name=$(basename "$test" .exe)
    case $name in test_win32_driver | test_win32_service) continue ;; esac
    if run "$work/$name.log" "$test"; then
      pass "$(basename "$1") $name ($(tests_ran "$work/$name.log"))"
    else
      cat "$work/$name.log"; fail "$(basename "$1") $name"
    fi
  done
}

install_driver() {  # BUILD
  cp "$1/simulator/win32/tarvelsim.sys" "$WINEPREFIX/tarvelsim.sys"
  local path="Z:${WINEPREFIX//\//\\}\\tarvelsim.sys"  # Wine's drive Z: is the root
  run_sc create tarvelsim type= kernel binPath= "$path" || { cat "$work/sc.log"; fail "sc create"; }
  run_sc start tarvelsim || { cat "$work/sc.log"; fail "sc start"; }
}

# tarvel-sim.exe's service handling while the service control manager is
# busy starting another service (as during a boot): installs and removes
# the service itself.
service_tests() {  # BUILD
  if run "$work/service.log" "$1/tests/test_win32_service.exe"; then
    pass "$(basename "$1") test_win32_service: a locked service database is waited for ($(tests_ran "$work/service.log"))"
  else
    cat "$work/service.log"; fail "$(basename "$1") test_win32_service"
  fi
}

backend_tests() {  # BUILD
  if run "$work/driver.log" "$1/tests/test_win32_driver.exe"; then
    pass "$(basename "$1") test_win32_driver against tarvelsim.sys ($(tests_ran "$work/driver.log"))"
  else
    cat "$work/driver.log"; fail "$(basename "$1") test_win32_driver"
  fi
}

reg_key='HKLM\SOFTWARE\Ostrand\Tarvel'
# A value under the recorder's key as reg prints it, or "missing".
reg_value() {
  reg query "$reg_key" /v "$1" | tr -d '\r' |
    awk -v name="$1" '$1 == name { print $3; found = 1 } END { if (!found) print "missing" }'
}

# The recorder finds no key: "Tarvel driver not installed", exit 0, no file.
not_installed() {  # BUILD
  reg_view_of "$1"
  reg delete "$reg_key" /f >/dev/null || true
  local dir=$work/none-$(basename "$1")
  mkdir -p "$dir"
  local rc=0
  (cd "$dir" && run ../none.out "$1/recorder/recorder.exe") || rc=$?
  check '[ $rc -eq 0 ] && [ "$(tr -d "\r" < "$work/none.out")" = "Tarvel driver not installed" ] && [ -z "$(ls "$dir")" ]' \
    "$(basename "$1") missing key: \"Tarvel driver not installed\", exit 0, no file"
}

# A session of two modems with more data than the driver's queues hold, so
# that the player can feed it only as the recorder reads it.
session() {  # RECORDER_BUILD PLAYER_BUILD
  local label="$(basename "$1") recorder.exe, $(basename "$2") tarvel-sim.exe:"
  local dir=$work/session-$(basename "$1")-$(basename "$2")
  reg_view_of "$1"
  mkdir -p "$dir/rec" && cd "$dir"
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
  reg add "$reg_key" /f >/dev/null
  reg add "$reg_key" /v TarvelSetup /t REG_BINARY /d 404142434445 /f >/dev/null
  local sim_rc=0 rec_rc=0 flag_during=missing
  run sim.out "$2/simulator/win32/tarvel-sim.exe" --log calls.log session.trace &
  local sim_pid=$!
  (cd rec && run ../rec.out "$1/recorder/recorder.exe") &
  local rec_pid=$!
  for _ in $(seq 1 100); do
    if grep -q 'Port(s) opened' rec.out 2>/dev/null; then flag_during=$(reg_value TarvelSetup); break; fi
    sleep 0.1
  done
  wait $rec_pid || rec_rc=$?
  wait $sim_pid || sim_rc=$?
  check '[ $sim_rc -eq 0 ]' "$label tarvel-sim.exe played the session (exit $sim_rc)"
  check '[ $rec_rc -eq 0 ] && [ "$(tr -d "\r" < rec.out)" = "$(printf "Port(s) opened\nPort(s) closed")" ]' \
    "$label exit 0, printed Port(s) opened, Port(s) closed"
  check 'cmp -s rec/session.rec.1 one.expected && cmp -s rec/session.rec.2 two.expected' \
    "$label session.rec.1 and session.rec.2 byte-identical to the data fed ($(stat -c %s one.expected) and $(stat -c %s two.expected) bytes)"
  check '[ "$flag_during" = 414142434445 ] && [ "$(reg_value TarvelSetup)" = 404142434445 ]' \
    "$label TarvelSetup bit 0 set while recording ($flag_during) and cleared after, other bytes kept"
  check 'grep -q "^IOCTL_TARVEL_READ_CAPTURE 1 " calls.log && ! grep -qv "^IOCTL_TARVEL_READ_CAPTURE [01] [0-9]*$" calls.log' \
    "$label the driver served capture reads of modems 1 and 2 only ($(wc -l < calls.log) calls)"
  cd "$root"
}

# Ctrl+C through the console control handler: the recorder runs in a
# terminal, where Wine turns ^C into CTRL_C_EVENT; the device is named by
# the argument TRVLM.
interrupt() {  # BUILD
  local dir=$work/ctrlc-$(basename "$1")
  reg_view_of "$1"
  mkdir -p "$dir/rec" && cd "$dir"
  printf 'wait 1000\nactive 1\ncap 1 fill 200000 33\nwait 8000\nactive 0\n' > session.trace
  head -c 200000 /dev/zero | tr '\0' '\063' > one.expected
  reg add "$reg_key" /v TarvelSetup /t REG_BINARY /d 00000000 /f >/dev/null
  run sim.out "$1/simulator/win32/tarvel-sim.exe" session.trace &
  local sim_pid=$!
  local loader=$wine64
  [ "$(pe_machine "$1/recorder/recorder.exe")" = 014c ] && loader=$wine32
  (cd rec &&
   { for _ in $(seq 1 100); do console_text ../rec.out 2>/dev/null | grep -q 'Port(s)opened' && break; sleep 0.1; done
     sleep 1; printf '\003'; sleep 2; } |
   timeout 60 script -qec "$loader $1/recorder/recorder.exe TRVLM" /dev/null >../rec.out 2>&1) || true
  # The modem is still active: recording ended by Ctrl+C, not by the trace.
  local active_after printed
  active_after=$(reg_value ActiveModems)
  printed=$(console_text rec.out | grep -o 'Port([s])[a-z]*' | tr '\n' '|')
  check '[ "$printed" = "Port(s)opened|Port(s)closed|" ] && [ "$active_after" = 0x1 ] && [ "$(reg_value TarvelSetup)" = 00000000 ] && cmp -s rec/session.rec.1 one.expected' \
    "$(basename "$1") Ctrl+C ended recording like its end, modem still active: Port(s) closed, flag cleared, session.rec.1 complete (printed '$printed', ActiveModems $active_after)"
  wait $sim_pid || true
  cd "$root"
}

w64=$root/build/windows64
w32=$root/build/windows32

echo "--- the 64-bit programs and driver"
make_prefix prefix64 win64
unit_tests "$w64"
service_tests "$w64"
install_driver "$w64"
backend_tests "$w64"
not_installed "$w64"
session "$w64" "$w64"
interrupt "$w64"

if runs_32bit; then
  echo "--- the 32-bit programs against the 64-bit driver"
  unit_tests "$w32"
  backend_tests "$w32"
  session "$w32" "$w32"
else
  skip "the 32-bit programs against the 64-bit driver (this machine cannot run 32-bit programs)"
fi

if run "$work/remove.out" "$w64/simulator/win32/tarvel-sim.exe" --remove; then
  pass "tarvel-sim.exe --remove removed the driver service"
else
  cat "$work/remove.out"; fail "tarvel-sim.exe --remove"
fi

if runs_32bit; then
  echo "--- the 32-bit driver"
  make_prefix prefix32 win32
  install_driver "$w32"
  backend_tests "$w32"
  session "$w32" "$w32"
  interrupt "$w32"
else
  skip "the 32-bit driver (this machine cannot run 32-bit programs)"
fi
for program in recorder/recorder.exe simulator/win32/tarvel-sim.exe simulator/win32/tarvelsim.sys; do
  check '[ "$(pe_machine "$w32/$program")" = 014c ] && [ "$(pe_machine "$w64/$program")" = 8664 ]' \
    "$program: a 32-bit and a 64-bit image"
done

echo "Windows: $passes passed, $failures failed, $skips skipped"
[ $failures -eq 0 ]

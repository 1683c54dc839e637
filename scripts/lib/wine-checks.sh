# Shared by the Windows test scripts (sourced): counting checks and telling
# a PE image's machine type.
passes=0
failures=0
pass() { echo "ok: $*"; passes=$((passes + 1)); }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# The machine type in a PE image's header: 8664 (x86-64) or 014c (i386).
pe_machine() {
  local at
  at=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -tx2 -j $((at + 4)) -N 2 "$1" | tr -d ' '
}
# A Unix path as Wine names it.
winpath() { echo "Z:${1//\//\\}"; }
# Waits until a path exists: path, tenths of a second.
wait_for() {
  for (( t=0; t<$2; t++ )); do [ -e "$1" ] && return 0; sleep 0.1; done
  return 1
}
# A private display: Xvfb on a free number between 50 and 99, its log in
# WORKDIR/xvfb.log; exports DISPLAY and adds Xvfb to the caller's pids.
start_private_display() {
  local n display=
  for n in $(shuf -i 50-99); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
  done
  [ -n "$display" ] || { echo "no free display number"; return 1; }
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for "/tmp/.X11-unix/X$display" 50 || { cat "$1/xvfb.log"; return 1; }
  export DISPLAY=:$display
}
# A fresh 64-bit prefix at WINEPREFIX whose windows Wine frames itself,
# with one server kept until the end.
make_unmanaged_prefix() {
  WINEARCH=win64 "$wine64" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  "$wineserver" -w
  "$wineserver" -p
}
# At the end of a run: the caller's background processes (pids, newest
# first) stopped, and the prefix's server, if one was started, ended.
stop_run_processes() {
  local i
  for (( i=${#pids[@]}-1; i>=0; i-- )); do
    kill "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
  if [ -n "${WINEPREFIX:-}" ]; then
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
  fi
}
# Whether this machine runs 32-bit x86 programs: Wine's 32-bit loader is a
# 32-bit Linux program, which a kernel built without IA-32 emulation cannot
# execute ("Exec format error"). Where it cannot, the 32-bit Windows programs
# are still built and their images checked, but not run; each part says so.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
skips=0
skip() { echo "skipped: $*"; skips=$((skips + 1)); }

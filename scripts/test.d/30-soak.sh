#!/usr/bin/env bash
# Soak: the programs against tarvel-sim in its fault modes, a few minutes in
# all. The driver floods records, reports counts outside the contract,
# refuses to open, flips ActiveModems between 0, 1, 2 and 0xFFFFFFFF, is
# killed and restarted, and the disk fills up (a small tmpfs as root, else a
# file-size limit); the programs also end by SIGHUP, SIGTERM, SIGINT and a
# closed standard output. After every run:
#   - the program ended by itself or on SIGTERM with status 0 (no crash);
#   - bit 0 of its TarvelSetup is clear;
#   - each capture file is exactly a prefix of the bytes the driver
#     delivered for that modem (soak_check; zeros skipped where the driver
#     over-reports its counts and so pads reads);
#   - in the long run, its resident memory in the second half is no higher
#     than in the first half plus 2 MiB.
# TARVEL_SOAK_SECONDS sets the length of the long run (default 45).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=$root/build/debug
long_seconds=${TARVEL_SOAK_SECONDS:-45}

# The programs soaked, one line each: NAME|REGISTRY KEY|COMMAND. Each runs
# in a directory of its own, writes session.rec.1 and session.rec.2 there,
# and ends at the end of a session or on SIGTERM with status 0.
programs=(
  "recorder|SOFTWARE/Ostrand/Tarvel|$build/recorder/recorder"
  "LineWatch|SOFTWARE/Velmora/Tarvel|$build/monitor/LineWatch --console"
)

cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(nproc)" --target recorder LineWatch tarvel-sim soak_check >/dev/null

work=$(mktemp -d /tmp/tarvel-soak-XXXXXX)
export TARVEL_SIM_DIR=$work/world
started=()   # every process this script started, to end at exit
mounted=()
cleanup() {
  for pid in "${started[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
  done
  for dir in "${mounted[@]}"; do
    umount "$dir" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
bytes_checked=0
peak_rss=0
daemon_peak_rss=0
fail() { echo "soak FAIL: $*"; failures=$((failures + 1)); }
rss_of() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

seq1=0
seq2=0
# Writes a session trace to $1 and appends its capture data to $fills:
# every 20 ms a chunk for each modem (modem 1 bytes 01-7f, modem 2 80-ff, so
# the streams never hold a zero and never share a byte) and $flood records.
#   $2 milliseconds of data, $3 flips (1: ActiveModems cycles 2, FFFFFFFF, 1
#   every 2 s), $4 records per step, $5 end (0: "active 0" after the data,
#   keep: ActiveModems stays), $6 directives to put first, $7 "MS:LINE;..."
#   directives at given times. A session starts after 300 ms without a
#   modem, unless $6 starts with "active" (a driver restarted in the middle
#   of a session, whose modems come back at once).
make_session() {
  local out=$1
  awk -v ms="$2" -v flips="$3" -v flood="$4" -v end="$5" -v prelude="$6" -v events="$7" \
      -v s1="$seq1" -v s2="$seq2" -v fills="$fills" -v seqs="$work/seqs" '
    BEGIN {
      n = split(prelude, pre, ";"); for (i = 1; i <= n; i++) if (pre[i] != "") print pre[i]
      m = split(events, ev, ";")
      restarted = prelude ~ /^active/
      if (!restarted) print "wait 300"
      print "active 2"
      # The monitor starts session.rec.N on these (the recorder ignores
      # them); a restarted driver goes on with the running captures.
      if (!restarted) { print "rec 1 77 10000"; print "rec 2 77 10000" }
      states[0] = "2"; states[1] = "0xFFFFFFFF"; states[2] = "1"
      for (t = 0; t < ms; t += 20) {
        for (i = 1; i <= m; i++) { split(ev[i], e, ":"); if (e[1] == t) print e[2] }
        c1 = 1000 + (s1 * 7919) % 40000; b1 = 1 + s1 % 127; s1++
        c2 = 1000 + (s2 * 104729) % 40000; b2 = 128 + s2 % 128; s2++
        printf "cap 1 fill %d %02x\n", c1, b1; printf "1 %d %02x\n", c1, b1 >> fills
        printf "cap 2 fill %d %02x\n", c2, b2; printf "2 %d %02x\n", c2, b2 >> fills
        for (r = 0; r < flood; r++) printf "rec %d %d %d %d\n", 1 + r % 2, 64 + r % 70, r, t
        if (flips && t % 2000 == 1980) print "active " states[int(t / 2000 + 1) % 3]
        print "wait 20"
      }
      print "wait 500"
      if (end != "keep") print "active 0"
      print s1 " " s2 > seqs
    }' > "$out"
  read -r seq1 seq2 < "$work/seqs"
}

# Starts tarvel-sim on a trace; its pid in $daemon.
start_daemon() {
  "$build/simulator/tarvel-sim" "$@" 2>>"$work/daemon.err" &
  daemon=$!
  started+=("$daemon")
  for _ in $(seq 500); do
    [ -S "$TARVEL_SIM_DIR/trvlmd" ] && return 0
    sleep 0.01
  done
  fail "tarvel-sim did not start"
}

# Runs one soak: $1 name, $2 program line, $3 how it ends (session, hup,
# term, int, closed-stdout, full-disk), $4 zero-padded (1 or 0), $5 restart
# (1: kill the daemon after the first trace and serve the second), then the
# traces.
soak() {
  local name=$1 entry=$2 how=$3 padded=$4 restart=$5 trace=$6 second=${7:-}
  local program key command dir status rss first_half=0 second_half=0 samples=() peak=0
  IFS='|' read -r program key command <<<"$entry"
  dir=$work/run-$name-$program
  mkdir -p "$dir"
  rm -f "$TARVEL_SIM_DIR/trvlmd"
  if [ "$restart" = 1 ]; then
    start_daemon --stay "$trace"  # serves on until it is killed
  else
    start_daemon "$trace"
  fi
  if [ "$how" = full-disk ]; then
    if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=3m tmpfs "$dir" 2>/dev/null; then
      mounted+=("$dir")
    else
      how=file-size-limit
    fi
  fi
  case $how in
    closed-stdout)
      mkfifo "$work/fifo-$name-$program"
      (cd "$dir" && exec $command) >"$work/fifo-$name-$program" 2>"$dir.err" &
      pid=$!
      head -1 <"$work/fifo-$name-$program" >"$dir.out" &
      started+=("$!")
      ;;
    file-size-limit)
      (cd "$dir" && ulimit -f 3072 && exec $command) >"$dir.out" 2>"$dir.err" &
      pid=$!
      ;;
    *)
      (cd "$dir" && exec $command) >"$dir.out" 2>"$dir.err" &
      pid=$!
      ;;
  esac
  started+=("$pid")
  local elapsed=0 signalled=0
  while kill -0 "$pid" 2>/dev/null; do
    sleep 0.25
    elapsed=$((elapsed + 1))
    rss=$(rss_of "$pid"); samples+=("${rss:-0}")
    [ "${rss:-0}" -gt "$peak" ] && peak=$rss
    rss=$(rss_of "$daemon")
    [ "${rss:-0}" -gt "$daemon_peak_rss" ] && daemon_peak_rss=$rss
    case $how in hup|term|int)
      if [ "$elapsed" -eq 8 ] && [ "$signalled" -eq 0 ]; then
        kill -"${how^^}" "$pid"; signalled=1
      fi ;;
    esac
    if [ "$restart" = 1 ] && [ "$elapsed" -eq 16 ]; then
      kill -KILL "$daemon"; wait "$daemon" 2>/dev/null || true
      start_daemon "$second"
      restart=done
    fi
    # A daemon whose traces ended has set ActiveModems to 0: a program that
    # does not end by itself then is told to.
    if ! kill -0 "$daemon" 2>/dev/null && [ "$signalled" -eq 0 ]; then
      sleep 1
      kill -TERM "$pid" 2>/dev/null || true
      signalled=1
    fi
    if [ "$elapsed" -gt $(( (long_seconds + 60) * 4 )) ]; then
      fail "$program $name did not end"; kill -KILL "$pid"; break
    fi
  done
  status=0
  wait "$pid" || status=$?
  kill -TERM "$daemon" 2>/dev/null || true
  wait "$daemon" 2>/dev/null || true
  # A closed standard output may be reported by status 1 (an output error);
  # anything else but 0, and every death by a signal, fails.
  if [ "$status" -ne 0 ] && ! { [ "$how" = closed-stdout ] && [ "$status" -eq 1 ]; }; then
    fail "$program $name: exit status $status ($(head -c 300 "$dir.err"))"
  fi
  local flag=$TARVEL_SIM_DIR/registry/$key/TarvelSetup
  if [ ! -f "$flag" ] || [ $(( $(od -An -tu1 -N1 "$flag") & 1 )) -ne 0 ]; then
    fail "$program $name: the recording flag is not cleared"
  fi
  local m size report
  for m in 1 2; do
    size=$(stat -c %s "$dir/session.rec.$m" 2>/dev/null || echo missing)
    if [ "$size" = missing ]; then
      fail "$program $name: no session.rec.$m"; continue
    fi
    if report=$("$build/tests/soak_check" "$fills" "$m" "$dir/session.rec.$m" ${padded:+$( [ "$padded" = 1 ] && echo --zero-padded)}); then
      bytes_checked=$((bytes_checked + size))
    else
      fail "$program $name: session.rec.$m is not a prefix of what was delivered: $report"
    fi
    reports+=("$report")
  done
  # Resident memory flat: the second half of the samples no higher than the
  # first half plus 2 MiB.
  local count=${#samples[@]} i
  for ((i = 0; i < count; i++)); do
    if [ "$i" -lt $((count / 2)) ]; then
      [ "${samples[$i]}" -gt "$first_half" ] && first_half=${samples[$i]}
    else
      [ "${samples[$i]}" -gt "$second_half" ] && second_half=${samples[$i]}
    fi
  done
  if [ "$count" -ge 8 ] && [ "$second_half" -gt $((first_half + 2048)) ]; then
    fail "$program $name: resident memory grew from $first_half to $second_half kB"
  fi
  [ "$peak" -gt "$peak_rss" ] && peak_rss=$peak
  if [ "$program" = recorder ] && { [ "$how" = full-disk ] || [ "$how" = file-size-limit ]; }; then
    local reported
    reported=$(grep -c "^Write to session.rec.[12] failed" "$dir.err" || true)
    [ "$reported" -ge 1 ] && [ "$reported" -le 2 ] ||
      fail "$program $name: $reported write failures reported, not one per file"
  fi
  if [ -n "${mounted[*]}" ]; then
    umount "$dir" 2>/dev/null || true
    mounted=()
  fi
  echo "soak $program $name ($how): status $status, ${reports[*]}, peak ${peak} kB"
  reports=()
}

start=$(date +%s)
reports=()
for entry in "${programs[@]}"; do
  fills=$work/fills-long; : >"$fills"
  make_session "$work/long.trace" $((long_seconds * 1000)) 1 40 0 \
    "" "3000:fault status-count 39;6000:fault eye-count 600;9000:fault off"
  soak long "$entry" session 0 0 "$work/long.trace"

  fills=$work/fills-count; : >"$fills"
  make_session "$work/count.trace" 8000 0 5 0 "fault capture-count 524288" "4000:fault capture-count 0xFFFFFFFF"
  soak over-reported-counts "$entry" session 1 0 "$work/count.trace"

  fills=$work/fills-refuse; : >"$fills"
  make_session "$work/refuse.trace" 8000 0 5 0 "fault refuse-open 1" "3000:fault refuse-open 0"
  soak refused-open "$entry" session 0 0 "$work/refuse.trace"

  fills=$work/fills-restart; : >"$fills"
  make_session "$work/restart-1.trace" 2000 0 5 keep "" ""
  make_session "$work/restart-2.trace" 4000 0 5 0 "active 2" ""
  soak restarted-driver "$entry" session 0 1 "$work/restart-1.trace" "$work/restart-2.trace"

  fills=$work/fills-full; : >"$fills"
  make_session "$work/full.trace" 6000 0 5 0 "" ""
  soak full-disk "$entry" full-disk 0 0 "$work/full.trace"

  for how in hup term int closed-stdout; do
    fills=$work/fills-$how; : >"$fills"
    make_session "$work/$how.trace" 4000 1 5 0 "" ""
    soak "end-$how" "$entry" "$how" 0 0 "$work/$how.trace"
  done
done
echo "soak: $(( $(date +%s) - start )) s, $bytes_checked bytes checked, peak resident memory ${peak_rss} kB" \
     "(tarvel-sim ${daemon_peak_rss} kB), $failures failures"
[ "$failures" -eq 0 ]

#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets (preset "fuzz": clang++ with
# -fsanitize=fuzzer,address,undefined), seeds their corpora from the scenario
# traces and runs each target for a bounded time. Any finding (crash,
# sanitizer report, leak, time-out, memory limit) fails the script; its input
# is kept in build/fuzz/findings/. TARVEL_FUZZ_SECONDS sets the time per
# target (default 50).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
seconds=${TARVEL_FUZZ_SECONDS:-50}
targets=(decode_status trace_parser intake wire)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target make_seeds "${targets[@]/%/_fuzz}" >/dev/null

work=$(mktemp -d /tmp/tarvel-fuzz-run-XXXXXX)
trap 'rm -rf "$work"' EXIT
findings=$root/build/fuzz/findings
mkdir -p "$findings"
"$root/build/fuzz/fuzz/make_seeds" "$work/seeds" scenarios/*.trace >/dev/null

failed=0
for target in "${targets[@]}"; do
  mkdir -p "$work/corpus/$target" "$work/tmp/$target"
  log=$work/$target.log
  # -close_fd_mask=3: the targets' own output (trace errors) is silenced;
  # libFuzzer still reports findings.
  if (cd "$work/tmp/$target" && TMPDIR="$work/tmp/$target" \
        "$root/build/fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=16384 -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$work/corpus/$target" "$work/seeds/$target") \
        >"$log" 2>&1; then
    found=0
  else
    found=1
    failed=1
  fi
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  corpus=$(find "$work/corpus/$target" -type f | wc -l)
  echo "fuzz $target: ${runs:-0} executions in ${seconds} s, corpus $corpus inputs, findings $found"
  if [ "$found" -ne 0 ]; then
    grep -E "ERROR|SUMMARY|Test unit written" "$log" | head -20 || tail -20 "$log"
  fi
done
exit "$failed"

#!/usr/bin/env bash
# The man pages name exactly the options that the programs' --help shows:
# for each program, the long options of its --help (LineWatch: also of
# `LineWatch --console --help`) and those of packaging/man/PROGRAM.1 must be
# the same set.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target LineWatch recorder tarvel-decode tarvel-sim >/dev/null

passed=0
failed=0
options() { grep -o -- '--[a-z][a-z-]*' | sort -u; }
page_options() { sed 's/\\-/-/g' "packaging/man/$1.1" | options; }
compare() {  # program, its --help output
  local from_help from_page
  from_help=$(options <<<"$2")
  from_page=$(page_options "$1")
  if [ "$from_help" = "$from_page" ]; then
    passed=$((passed + 1))
    echo "ok: $1.1 names the options of $1 --help: $(tr '\n' ' ' <<<"$from_help")"
  else
    failed=$((failed + 1))
    echo "FAILED: $1.1 and $1 --help differ (< --help, > man page):"
    diff <(echo "$from_help") <(echo "$from_page") | grep '^[<>]' || true
  fi
}

bin=build/release
compare LineWatch "$(QT_QPA_PLATFORM=offscreen "$bin/monitor/LineWatch" --help; "$bin/monitor/LineWatch" --console --help)"
compare tarvel-decode "$("$bin/tools/tarvel-decode" --help)"
compare tarvel-sim "$("$bin/simulator/tarvel-sim" --help)"
compare recorder "$("$bin/recorder/recorder" --help)"
echo "man pages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

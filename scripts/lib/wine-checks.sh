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

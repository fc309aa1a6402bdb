#!/usr/bin/env bash
# Runs a test program (GoogleTest) with its arguments and fails it when it
# ended before it had run its cases, whatever its status: a case that ends
# the process early with status 0 (an exit of its own, or of a handler it
# met, as Xlib's for a lost X server) would otherwise pass, and hide every
# case after it. The program writes its XML report only when it reaches its
# end, having run every case it selected; no report, it ended early. ctest
# runs every case through it (tests/CMakeLists.txt), scripts/test-whole.sh
# every program:
#   scripts/run-counted-test.sh PROGRAM [ARGUMENTS...]
# A listing (--gtest_list_tests) is passed through as it is. The status is
# the program's, or 1 when it ran short.
set -uo pipefail
program="$1"
shift
all_disabled=0
for argument in "$@"; do
  case "$argument" in
    --gtest_list_tests) exec "$program" "$@" ;;
    --gtest_also_run_disabled_tests) all_disabled=1 ;;
  esac
done

# The cases the program holds for these arguments, from its listing: every
# listed case but the disabled ones, unless those run too.
listed_cases() {
  "$program" "$@" --gtest_list_tests | awk -v all="$all_disabled" '
    /^[^ ]/ { suite = $1; next }
    /^  / { if (all || (suite !~ /(^|\/)DISABLED_/ && $1 !~ /^DISABLED_/)) count++ }
    END { print count + 0 }'
}

folder=$(mktemp -d "${TMPDIR:-/tmp}/counted-test.XXXXXX") || exit 2
trap 'rm -rf "$folder"' EXIT
report="$folder/report.xml"
"$program" "$@" --gtest_output="xml:$report"
status=$?
if [ "$status" -gt 128 ] && [ "$status" -lt 160 ]; then
  # Ended by a signal: this ends by the same one, so the runner says so.
  rm -rf "$folder"
  trap - EXIT
  kill -s "$((status - 128))" $$
fi
[ "$status" -ne 0 ] && exit "$status"

name=$(basename "$program")
if [ ! -f "$report" ]; then
  echo "$name ended with status 0 before its end (it wrote no report of its" \
    "$(listed_cases "$@") cases here): counted as failed" >&2
  exit 1
fi

#!/usr/bin/env bash
# Runs a test program (GoogleTest) with its arguments and fails it when it
# ended before it had run its cases, or when its report counts a failed
# case, whatever its status: a case that ends the process early with status
# 0 (an exit of its own, or of a handler it met, as Xlib's for a lost X
# server) would otherwise pass, and hide every case after it or its own
# failure. The program writes its XML report only when it reaches its end,
# having run every case it selected; no report, it ended early. ctest runs
# every case through it (tests/CMakeLists.txt), scripts/test-whole.sh every
# program:
#   scripts/run-counted-test.sh PROGRAM [ARGUMENTS...]
# A listing (--gtest_list_tests) is passed through as it is. The status is
# the program's, or 1 when it ran short or its report counts a failure. A
# status above 128 is said with the signal it stands for; the runner ends
# with it, never by sending itself that signal (a stop signal would stop
# it). Asked to end (SIGTERM, as a time limit asks the whole process group),
# the runner waits for its program, so that the limit's later kill still
# finds the program under it, then fails.
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
asked_to_end=0
trap 'asked_to_end=1' TERM
report="$folder/report.xml"
name=$(basename "$program")
"$program" "$@" --gtest_output="xml:$report"
status=$?
if [ "$asked_to_end" -eq 1 ]; then
  echo "$name: the runner was asked to end (SIGTERM) while the program ran; it ended with status $status:" \
    "counted as failed" >&2
  [ "$status" -ne 0 ] && exit "$status"
  exit 1
fi
if [ "$status" -gt 128 ] && signal=$(kill -l "$((status - 128))" 2>/dev/null); then
  echo "$name ended with status $status (by signal $((status - 128)), SIG$signal, or an exit with that status):" \
    "counted as failed" >&2
fi
[ "$status" -ne 0 ] && exit "$status"

if [ ! -f "$report" ]; then
  echo "$name ended with status 0 before its end (it wrote no report of its" \
    "$(listed_cases "$@") cases here): counted as failed" >&2
  exit 1
fi
# The totals of the whole run stand on the report's first element.
totals=$(grep -m1 -o '<testsuites [^>]*>' "$report")
total() { sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p" <<<"$totals"; }
failures=$(total failures)
errors=$(total errors)
if [ -z "$failures" ] || [ -z "$errors" ]; then
  echo "$name ended with status 0, but its report gives no count of failures: counted as failed" >&2
  exit 1
fi
if [ "$failures" -ne 0 ] || [ "$errors" -ne 0 ]; then
  echo "$name ended with status 0, but its report counts $failures failed and $errors erroneous cases:" \
    "counted as failed" >&2
  exit 1
fi

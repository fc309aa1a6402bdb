#!/usr/bin/env bash
# Every test program of a built preset (default: release) run whole, all its
# cases in one process and in shuffled order, as ctest never runs them: a
# case that passes only as the first of its process, or only after another,
# fails here. The order comes from the seed (default: a random one); the
# seed is printed, and the same seed gives the same order again:
#   bash scripts/test-whole.sh [preset] [seed]
# Each program runs in the working directory and with the environment ctest
# gives its cases (the test preset's variables, then the cases' own), up to
# WHOLE_JOBS at once (default: the processor count), through the runner
# ctest uses as well (scripts/run-counted-test.sh): a program that ends
# before it has run all its cases, or whose report counts a failure, fails
# even with status 0. WHOLE_LABELS, a ctest label expression, runs only the
# programs whose cases carry such a label (the sanitizer runs: those built).
# A program is limited by its progress, not by its total time: it is
# stopped when none of its cases has begun or ended for WHOLE_CASE_SECONDS
# (default 300, as long as ctest lets one case run; the sanitizer runs
# 900), which a case that hangs reaches, and a slow or busy machine does
# not (the longest case takes 15 s in release). A stopped program is asked
# to end (SIGTERM, to its runner and to it) and killed 30 s later if it has
# not: the headless window back end takes SIGTERM as a request to end its
# loop, which a stuck program never sees. Each program's outcome is printed
# as it ends: a failure names the seed, the program, its failed cases (with
# what each printed) or the case it was stopped in; the whole output of
# each program is kept in build/<preset>/whole/<program>.log, with the
# command that runs that program alone in <program>.again.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
seed="${2:-$(( (RANDOM * 32768 + RANDOM) % 99999 + 1 ))}"
jobs="${WHOLE_JOBS:-$(nproc)}"
case_seconds="${WHOLE_CASE_SECONDS:-300}"
labels=()
[ -n "${WHOLE_LABELS:-}" ] && labels=(-L "$WHOLE_LABELS")
if ! [[ "$seed" =~ ^[0-9]+$ ]] || [ "$seed" -lt 1 ] || [ "$seed" -gt 99999 ]; then
  echo "whole run: the seed must be a number from 1 to 99999, not '$seed'" >&2
  exit 2
fi
if ! [[ "$case_seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "whole run: WHOLE_CASE_SECONDS must be a whole number above 0, not '$case_seconds'" >&2
  exit 2
fi
build="build/$preset"
runner="$PWD/scripts/run-counted-test.sh"
logs="$PWD/$build/whole"
if [ ! -f "$build/CTestTestfile.cmake" ]; then
  echo "whole run: $build is not configured; build it first (cmake --preset $preset && cmake --build --preset $preset)" >&2
  exit 2
fi

# One line per test program ctest knows: program, working directory, then
# the cases' own variables, all separated by tabs. A case's command is the
# runner, then the program. With an argument, one line per case instead:
# its name, a tab, its program's file name.
programs() {
  ctest --preset "$preset" "${labels[@]}" -N -V | awk -v cases="${1:-}" '
    /: Test command: / {
      sub(/.*: Test command: /, ""); split($0, words, " ")
      program = words[1] ~ /run-counted-test\.sh$/ ? words[2] : words[1]
      gsub(/"/, "", program)
      next
    }
    /: Working Directory: / { sub(/.*: Working Directory: /, ""); folder = $0; variables = ""; next }
    /: Environment variables:/ { reading = 1; next }
    reading && /^[0-9]+:  / { sub(/^[0-9]+:  /, ""); variables = variables "\t" $0; next }
    /^  *Test *#/ {
      reading = 0
      if (cases) { sub(/^  *Test *#[0-9]+: /, ""); n = split(program, parts, "/"); print $0 "\t" parts[n] }
      else if (!(program in seen)) { seen[program] = 1; print program "\t" folder variables }
    }'
}

# The programs, the longest of the last run first, so that the long ones
# do not start last and keep the others waiting.
longest_first() {
  local line name seconds
  for line in "$@"; do
    name=$(basename "${line%%$'\t'*}")
    seconds=0
    [ -f "$logs/$name.status" ] && read -r _ seconds <"$logs/$name.status"
    printf '%s\t%s\n' "$seconds" "$line"
  done | sort -t$'\t' -k1,1nr -s | cut -f2-
}

if ! environment_text=$(cmake -Dsource="$PWD" -Dpreset="$preset" -P scripts/preset-environment.cmake); then
  echo "whole run: the environment of the test preset $preset could not be read" >&2
  exit 2
fi
base_environment=()
[ -n "$environment_text" ] && mapfile -t base_environment <<<"$environment_text"
mapfile -t listed < <(programs)
if [ ${#listed[@]} -eq 0 ]; then
  echo "whole run: ctest lists no test programs in $build" >&2
  exit 2
fi
mkdir -p "$logs"
mapfile -t listed < <(longest_first "${listed[@]}")
rm -f "$logs"/*
report_lock="$logs/.report.lock"

# The cases a program's log shows skipped in its whole run, one a line.
skipped_cases() {
  sed -n 's/^\[  SKIPPED \] \([^ ]*\) (.*/\1/p' "$1"
}

# report <name>: the program's outcome, printed whole as it ends (under a
# lock, so that the reports of programs ending together do not mix).
report() {
  local name="$1" status seconds note cases running finished
  read -r status seconds <"$logs/$name.status"
  {
    if [ "$status" -eq 0 ]; then
      echo "  $name: passed (${seconds} s)"
    else
      case "$status" in
        124) note=" (stopped: none of its cases began or ended for $case_seconds s)" ;;
        137) note=" (killed, stopped and not ending within 30 s, or by another)" ;;
        *) note="" ;;
      esac
      echo "  $name: FAILED with status $status$note (${seconds} s), seed $seed; log: $logs/$name.log"
      cases=$(sed -n 's/^\[  FAILED  \] \([^ ,]*\.[^ ,]*\).*/\1/p' "$logs/$name.log" | sort -u)
      if [ -n "$cases" ]; then
        while read -r failed_case; do
          echo "    failed case: $failed_case"
          # What it said between its start and its end, for a run whose
          # logs are gone (a CI machine's): the first 40 lines.
          awk -v c="$failed_case" '$0 == "[ RUN      ] " c { on = 1; next }
            on && index($0, "[  FAILED  ] " c) == 1 { exit } on' "$logs/$name.log" | head -n 40 | sed 's/^/    | /' || true
        done <<<"$cases"
      else
        running=$(awk '/^\[ RUN      \]/ { name = $4 } /^\[ +(OK|FAILED|SKIPPED) +\]/ { name = "" } END { print name }' \
                    "$logs/$name.log")
        [ -n "$running" ] && echo "    stopped in case: $running"
        finished=$(grep -cE '^\[ +(OK|FAILED|SKIPPED) +\] [^ ]+\.[^ ]+ \(' "$logs/$name.log" || true)
        echo "    cases finished before it ended: $finished"
        echo "    the log ends:"
        tail -n 20 "$logs/$name.log" | sed 's/^/    | /'
      fi
      if [ "$status" -eq 124 ]; then
        # Where a stopped program spent its time, for a run whose logs are
        # gone: its slowest finished cases.
        echo "    its slowest cases:"
        sed -nE 's/^\[ +(OK|FAILED|SKIPPED) +\] ([^ ]+) \(([0-9]+) ms\)$/\3 ms \2/p' "$logs/$name.log" |
          sort -rn | head -n 5 | sed 's/^/    | /'
      fi
      echo "    this program alone: $(cat "$logs/$name.again")"
    fi
  } >"$logs/$name.report"
  flock "$report_lock" cat "$logs/$name.report"
}

# watched <log> <command>...: runs the command, its output to log, and
# stops it when none of its cases has begun or ended for case_seconds (a
# case boundary is a line of GoogleTest's: RUN, OK, FAILED, SKIPPED);
# status 124 then, else the command's. Started by this script's background
# job, which leads no process group, setsid makes the command one of its
# own without a fork: the runner and its program are signalled together.
watched() {
  local log="$1" pid dog status=0
  shift
  rm -f "$log.stopped"
  setsid "$@" >"$log" 2>&1 &
  pid=$!
  (
    marks=-1
    quiet=0
    while sleep 5; do
      now=$(grep -cE '^\[ +(RUN|OK|FAILED|SKIPPED) +\]' "$log" || true)
      if [ "$now" != "$marks" ]; then
        marks=$now
        quiet=0
      elif [ $((quiet += 5)) -ge "$case_seconds" ]; then
        touch "$log.stopped"
        kill -TERM -- "-$pid" 2>/dev/null || exit 0
        for ((grace = 0; grace < 30; grace++)); do
          sleep 1
          kill -0 "$pid" 2>/dev/null || exit 0
        done
        kill -KILL -- "-$pid" 2>/dev/null || true
        exit 0
      fi
    done
  ) &
  dog=$!
  wait "$pid" || status=$?
  kill "$dog" 2>/dev/null || true
  wait "$dog" 2>/dev/null || true
  if [ -f "$log.stopped" ]; then
    rm -f "$log.stopped"
    return 124
  fi
  return "$status"
}

run_program() {
  local line="$1" program folder name
  IFS=$'\t' read -r -a fields <<<"$line"
  program="${fields[0]}"
  folder="${fields[1]}"
  name=$(basename "$program")
  local command=(env "${base_environment[@]}" "${fields[@]:2}" "$runner" "$program" --gtest_shuffle
                 --gtest_random_seed="$seed")
  echo "cd $folder && ${command[*]}" >"$logs/$name.again"
  local start=$SECONDS status=0
  (cd "$folder" && export GTEST_COLOR=no && watched "$logs/$name.log" "${command[@]}") || status=$?
  # A case that needs a process of its own (one that points SDL's video at
  # an X server, where another driver runs already) skips in the shared
  # one: it runs again alone, as ctest runs it, so that no case goes
  # unchecked here (the sanitizer runs have no other).
  local skipped cases=()
  [ "$status" -eq 0 ] && mapfile -t cases < <(skipped_cases "$logs/$name.log")
  for skipped in "${cases[@]}"; do
    echo "whole run: $skipped skipped in the whole run, run again alone" >>"$logs/$name.log"
    (cd "$folder" && export GTEST_COLOR=no && watched "$logs/$name.again.log" "${command[@]}" \
      --gtest_filter="$skipped") || status=$?
    cat "$logs/$name.again.log" >>"$logs/$name.log"
    rm -f "$logs/$name.again.log"
    [ "$status" -eq 0 ] || break
  done
  echo "$status $((SECONDS - start))" >"$logs/$name.status"
  report "$name"
}

echo "whole run: $preset, seed $seed, $jobs at once (again: bash scripts/test-whole.sh $preset $seed);" \
  "a program is stopped when none of its cases begins or ends for $case_seconds s"
started=$SECONDS
names=()
for line in "${listed[@]}"; do
  names+=("$(basename "${line%%$'\t'*}")")
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_program "$line" &
done
wait

passed=0
failed_names=()
for name in "${names[@]}"; do
  read -r status _ <"$logs/$name.status"
  if [ "$status" -eq 0 ]; then passed=$((passed + 1)); else failed_names+=("$name"); fi
done
failures=""
[ ${#failed_names[@]} -gt 0 ] && failures=" (${failed_names[*]})"
echo "whole run: $(( SECONDS - started )) s in all; programs: $passed passed, ${#failed_names[@]} failed$failures"
[ ${#failed_names[@]} -eq 0 ]

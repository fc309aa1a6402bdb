#!/usr/bin/env bash
# The fuzz smoke run: builds the fuzz targets with clang (build/fuzz) and
# runs every target named in fuzz/smoke-targets.txt from its seed corpus
# fuzz/corpus/<target>, FUZZ_JOBS at once (default: the processor count).
# Each target runs FUZZ_SECONDS seconds; by default 30, shortened (to no
# less than 10) where so few run at once that the whole run would pass two
# minutes. Any finding (crash, leak, time-out, memory limit) fails the run;
# the input that caused it is kept as build/fuzz/findings/<target>-*. New
# inputs go to build/fuzz/runs/, the committed corpus stays as it is.
# Without clang it says so and does nothing. A longer campaign:
# FUZZ_SECONDS=3600 bash scripts/fuzz-smoke.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${FUZZ_JOBS:-$(nproc)}"
# Every fuzz/<name>.cpp is a target, and the smoke run takes them all: a
# target without its line in the list, or a line without its target, stops
# the run before anything is built.
listed=$(grep -v '^\s*\(#\|$\)' fuzz/smoke-targets.txt | sort)
sources=$(ls fuzz/*.cpp | sed 's|^fuzz/||; s|\.cpp$||' | sort)
if [ "$listed" != "$sources" ]; then
  echo "fuzz: fuzz/smoke-targets.txt does not name every fuzz target once:"
  diff <(echo "$listed") <(echo "$sources") | sed -n 's/^< /  a line without a target of its own (or a repeated line): /p; s/^> /  not listed: /p' || true
  exit 1
fi
if [ -n "${FUZZ_SECONDS:-}" ]; then
  seconds=$FUZZ_SECONDS
else
  targets=$(echo "$listed" | wc -l)
  rounds=$(( (targets + jobs - 1) / jobs ))
  seconds=$(( 120 / rounds ))
  [ "$seconds" -gt 30 ] && seconds=30
  [ "$seconds" -lt 10 ] && seconds=10
fi
echo "fuzz: $(echo "$listed" | wc -l) targets, $seconds s each, $jobs at once"
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, no fuzz smoke run"
  exit 0
fi

# -O1 with line tables alone: all a finding's stack trace needs, and far
# quicker to build than -O2 -g.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DFUZZ=ON -DMORPOTTA_TESTS=OFF -DMORPOTTA_BENCH=OFF \
  -DMORPOTTA_UNITY_BUILD="${MORPOTTA_UNITY_BUILD:-OFF}" >/dev/null
cmake --build build/fuzz --target fuzz_targets

out=build/fuzz
rm -rf "$out/runs" "$out/logs" "$out/findings"
mkdir -p "$out/runs" "$out/logs" "$out/findings"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan_suppressions.txt"
export FUZZ_SECONDS_EACH="$seconds"

run_one() {
  local target=$1 corpus=fuzz/corpus/$1
  mkdir -p "build/fuzz/runs/$target"
  [ -d "$corpus" ] || corpus=
  if "build/fuzz/fuzz/$target" -max_total_time="$FUZZ_SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$target-" \
       "build/fuzz/runs/$target" $corpus >"build/fuzz/logs/$target.log" 2>&1; then
    echo "ok"
  else
    echo "FINDING"
  fi >"build/fuzz/logs/$target.result"
}
export -f run_one

grep -v '^\s*\(#\|$\)' fuzz/smoke-targets.txt | xargs -P "$jobs" -I{} bash -c 'run_one {}'

failed=0
printf '%-24s %-8s %12s %8s %8s\n' target result runs cov corpus
for target in $(grep -v '^\s*\(#\|$\)' fuzz/smoke-targets.txt); do
  log="$out/logs/$target.log"
  result=$(cat "$out/logs/$target.result" 2>/dev/null || echo missing)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1 || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  corpus=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  printf '%-24s %-8s %12s %8s %8s\n' "$target" "$result" "${runs:-?}" "${cov:-?}" "${corpus:-?}"
  if [ "$result" != ok ]; then
    failed=1
    grep -m3 -E 'ERROR|SUMMARY|Test unit written' "$log" || tail -5 "$log"
  fi
done
exit $failed

#!/usr/bin/env bash
# The whole suite built and run under AddressSanitizer and UBSan, as CI
# runs it: each test program whole, its cases shuffled by the seed (the
# argument, or a random one, printed), in one process
# (scripts/test-whole.sh): ctest's release run has shown every case passing
# in a process of its own, and a sanitizer's report, a leak found at the
# program's end among them, ends its program with a failure.
# Only the test programs, what they run and the content they read are
# built. `bash scripts/test.sh asan` builds everything and runs every case
# in a process of its own instead.
#   bash scripts/test-asan.sh [seed]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan -DMORPOTTA_UNITY_BUILD="${MORPOTTA_UNITY_BUILD:-OFF}" >/dev/null
cmake --build --preset asan --target test_programs content
# A program is stopped when none of its cases has begun or ended for 15
# minutes: instrumented, a case takes up to 13 times as long as in release
# (the software blit kernels are unoptimised here), the more on a busy
# machine.
WHOLE_CASE_SECONDS=${WHOLE_CASE_SECONDS:-900} bash scripts/test-whole.sh asan "$@"

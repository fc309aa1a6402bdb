#!/usr/bin/env bash
# The tests of the modules that meet other threads (sound worker, decoding,
# read, write and file threads, the library lock), built and run under
# ThreadSanitizer. Only their test programs are built. Each runs whole, its
# cases shuffled by the seed (the argument, or a random one, printed), in
# one process (scripts/test-whole.sh): ctest's release run has shown every
# case passing in a process of its own, and a report ends its program with
# a failure. One case by hand: ctest --preset tsan -R <name>.
#   bash scripts/test-threads.sh [seed]
set -euo pipefail
cd "$(dirname "$0")/.."
labels=(foundation files sound music movie wiiremote game_threads)

cmake --preset tsan -DMORPOTTA_UNITY_BUILD="${MORPOTTA_UNITY_BUILD:-OFF}" >/dev/null
cmake --build --preset tsan --target "${labels[@]/#/test_}"
# A program is stopped when none of its cases has begun or ended for 15
# minutes: instrumented, a case takes up to 11 times as long as in release,
# the more on a busy machine.
WHOLE_LABELS="^($(IFS='|'; echo "${labels[*]}"))\$" WHOLE_CASE_SECONDS=${WHOLE_CASE_SECONDS:-900} bash scripts/test-whole.sh tsan "$@"

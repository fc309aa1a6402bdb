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
# Each program's time limit: 20 times its time in release, at least 5
# minutes. Instrumented, the programs took up to 11 times as long, the more
# on a busy machine.
WHOLE_LABELS="^($(IFS='|'; echo "${labels[*]}"))\$" WHOLE_LIMIT_TIMES=${WHOLE_LIMIT_TIMES:-20} WHOLE_LIMIT_FLOOR=${WHOLE_LIMIT_FLOOR:-300} bash scripts/test-whole.sh tsan "$@"

#!/usr/bin/env bash
# The tests of the modules that meet other threads (sound worker, decoding,
# read, write and file threads, the library lock), built and run under
# ThreadSanitizer. Only their test programs are built. Extra arguments go
# to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
labels=(foundation files sound music movie wiiremote game_threads)

cmake --preset tsan >/dev/null
cmake --build --preset tsan --target "${labels[@]/#/test_}"
regex="^($(IFS='|'; echo "${labels[*]}"))\$"
ctest --preset tsan -L "$regex" -j "$(nproc)" "$@"

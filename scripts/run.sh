#!/usr/bin/env bash
# Installs what the project needs, builds the release preset and starts the game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target morpotta content
# The game reads tpa/ and keeps its save file in its working directory.
cd build/release
exec ./apps/morpotta

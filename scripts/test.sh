#!/usr/bin/env bash
# Installs what the project needs, builds a preset (default: release) and
# runs its whole test suite. Extra arguments go to ctest (e.g. -L foundation).
# MORPOTTA_UNITY_BUILD=ON compiles in batches, as CI does (default OFF).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
shift || true
bash scripts/install-deps.sh
cmake --preset "$preset" -DMORPOTTA_UNITY_BUILD="${MORPOTTA_UNITY_BUILD:-OFF}" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)" "$@"

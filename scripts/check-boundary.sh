#!/usr/bin/env bash
# Proves the engine's boundary on a configured preset (default: release):
# the game and the tools build against the public API alone, every public
# header stands on its own, and a game or tool source that includes an
# engine-internal or a platform header does not build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"

tools=$(find tools -mindepth 1 -maxdepth 1 -type d -printf '%f ')
cmake --build --preset "$preset" --target game public_headers $tools

for probe in boundary_probe_game_engine boundary_probe_game_platform boundary_probe_tool_engine; do
  if output=$(cmake --build --preset "$preset" --target "$probe" 2>&1); then
    echo "boundary: $probe built, but it includes a header outside the public API" >&2
    exit 1
  fi
  if ! grep -q "No such file or directory" <<<"$output"; then
    echo "boundary: $probe failed for another reason:" >&2
    echo "$output" >&2
    exit 1
  fi
  echo "boundary: $probe refused: $(grep -m1 'fatal error' <<<"$output" | sed 's/.*fatal error: //')"
done

#!/usr/bin/env bash
# Draws the game's reference frames on headless GL (tests/game/
# test_frames_reference_gl.cpp: the largest stage, a versus stage, a
# checkerboard of blocks and the title, through the model shaders and on
# the fixed-function road) and holds each against the picture of the same
# name in FOLDER, within the GL tests' tolerance. Pictures missing from
# FOLDER are written there: run it once on the build before a change to the
# drawing code, then again after it.
#   bash scripts/compare-frames.sh FOLDER [preset]
set -euo pipefail
folder=${1:?usage: compare-frames.sh FOLDER [preset]}
preset=${2:-release}
cd "$(dirname "$0")/.."
cmake --build --preset "$preset" --target test_game content
mkdir -p "$folder"
SDL_VIDEODRIVER=offscreen MORPOTTA_REFERENCE_FRAMES="$(cd "$folder" && pwd)" \
    "build/$preset/tests/test_game" --gtest_filter='*ReferenceFrames*'

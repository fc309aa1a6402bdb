#!/usr/bin/env bash
# The game's frame rate in the attract demo on a virtual X screen with
# software GL: starts Xvfb, runs apps/framerate from the build directory
# with the rasteriser's thread count and, when given, only on the listed
# processors. Measure on an idle machine: the figure is wall-clock time.
#   bash scripts/attract-fps.sh [--threads N] [--cpus LIST] [--seconds S] [--preset P]
set -euo pipefail
threads=2 cpus="" seconds=20 preset=release
while [ $# -gt 0 ]; do
    case "$1" in
    --threads) threads=$2; shift 2 ;;
    --cpus) cpus=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --preset) preset=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
cd "$(dirname "$0")/../build/$preset"
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
ln -s "$PWD/tpa" "$work/tpa"
run=("$PWD/apps/framerate" "$seconds")
[ -n "$cpus" ] && run=(taskset -c "$cpus" "${run[@]}")
echo "LP_NUM_THREADS=$threads${cpus:+, processors $cpus}, load: $(cut -d' ' -f1-3 /proc/loadavg)"
(cd "$work" && DISPLAY=$display SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy LP_NUM_THREADS=$threads "${run[@]}")

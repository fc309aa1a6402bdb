#!/usr/bin/env bash
# Soak run (not part of CI): the game left alone on its title for a long
# time, headless, so that the attract demo starts, plays a demo replay,
# returns to the title and starts again, over and over. The resident memory
# of the game is sampled every minute; at the end the samples are printed
# with the growth from the second minute on (the first minute still loads
# and warms caches). A run whose memory keeps growing leaks.
#
#   bash scripts/soak-attract.sh [--build DIR] [--minutes N]
#
# Defaults: --build build/release, --minutes 60. The game runs in a
# temporary working directory whose tpa/ is the build's generated tree (its
# save, log and lock stay there), on SDL's offscreen video driver and the
# dummy audio driver. Exit status 1 when the game ended early or the
# resident memory grew by more than 8 MiB after the first minute.
set -euo pipefail
build=build/release
minutes=60
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --minutes) minutes=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--minutes N]" >&2; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd)
[ -x "$build/apps/morpotta" ] && [ -d "$build/tpa" ] || { echo "soak: build the game first ($build)" >&2; exit 2; }
work=$(mktemp -d /tmp/morpotta-soak.XXXXXX)
ln -s "$build/tpa" "$work/tpa"
( cd "$work" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LP_NUM_THREADS=${LP_NUM_THREADS:-1} exec "$build/apps/morpotta" ) \
  >"$work/game.out" 2>&1 &
game=$!
stop() { kill "$game" 2>/dev/null || true; wait "$game" 2>/dev/null || true; }
trap stop EXIT

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$game/status" 2>/dev/null; }
samples=()
ended=0
for minute in $(seq 1 "$minutes"); do
  sleep 60
  rss=$(rss_kib || true)
  if [ -z "$rss" ]; then ended=1; echo "soak: the game ended at minute $minute"; break; fi
  samples+=("$rss")
  printf 'minute %3d: %8d KiB resident\n' "$minute" "$rss"
done
stop
trap - EXIT
[ "${#samples[@]}" -gt 0 ] || { echo "soak: no sample" >&2; exit 1; }
printf '%s\n' "${samples[@]}" | awk -v work="$work" '
  { s[NR] = $1; if (NR == 1 || $1 < lo) lo = $1; if ($1 > hi) hi = $1 }
  END {
    base = NR > 1 ? s[2] : s[1]
    printf "soak: %d samples; first %d KiB, min %d, max %d, last %d; growth after minute 2: %d KiB (%s)\n",
           NR, s[1], lo, hi, s[NR], s[NR] - base, work
    exit (s[NR] - base > 8192) ? 1 : 0
  }' || { echo "soak: resident memory grew"; exit 1; }
[ "$ended" = 0 ] || exit 1

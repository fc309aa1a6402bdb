#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent and quiet: packages already present are skipped without a
# network round trip; otherwise one `apt-get update`, then one install.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build ccache pkg-config git
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # software blits: pixman beside them in the benchmark; PNG output of the scene test
  libpixman-1-dev libpng-dev
  # window, events, GL context, audio output, controllers; headless GL on Mesa
  libsdl2-dev libepoxy-dev libgl1-mesa-dri libegl-mesa0 libgl-dev
  # the window's legacy X11 title
  libx11-dev
  # a real X11 window in tests: the server, and the damage extension by which
  # a test sees the game draw its frames
  xvfb libxdamage-dev
  # picture readers
  libpng-dev libjpeg-dev
  # fonts: glyphs through FreeType from the IPA Gothic font; faces a program
  # names found through fontconfig (the font tests name DejaVu Sans)
  libfreetype-dev fonts-ipafont-gothic libfontconfig-dev fonts-dejavu-core
  # CRC-32 of archive members; the codec benchmark's yardstick
  zlib1g-dev
  # the model benchmark's yardstick: importing the same geometry as OBJ
  libassimp-dev
  # libFuzzer targets (-DFUZZ=ON)
  clang libclang-rt-dev
  # sound benchmark: the reference mixer measured beside the engine's own
  libsdl2-mixer-dev
  # MIDI music: the synthesiser and its General MIDI soundfont
  libfluidsynth-dev timgm6mb-soundfont
  # content generator (and libpng above): captions in the IPA Gothic font, MP3 music
  libfreetype-dev fonts-ipafont-gothic libmp3lame-dev lame
  # sound converter: MPEG audio and Ogg Vorbis decoding
  libmpg123-dev libvorbis-dev libogg-dev
  # sound tests: fixtures encoded and reference decodes (sox, oggenc; lame above)
  sox libsox-fmt-base vorbis-tools
  # movies: Ogg Theora decoding; the test movies are encoded with libtheora's
  # encoder and libvorbis; the movie benchmark's yardsticks
  libtheora-dev libswscale-dev libavcodec-dev libavutil-dev
  # movie files other than Theora: the media graph's movie source; the movie
  # tests make their AVI and MP4 test patterns with the ffmpeg tool
  libavformat-dev ffmpeg
  # rigid-body physics of PMD models (bake and instances)
  libbullet-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

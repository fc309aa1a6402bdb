#!/usr/bin/env bash
# Proves that a program outside the tree builds on the engine, naming no
# library but the engine, and runs, in the three ways the README gives:
# the installed CMake package (the example, examples/hello, as its own
# project), the installed pkg-config module, and the repository taken in
# by another project with add_subdirectory(... EXCLUDE_FROM_ALL), which must
# define the engine alone. Each program draws a few frames headless in a
# folder of its own and saves the last one. Before them, the installed
# archives' symbols are checked (scripts/check-symbols.py) and a program
# whose own functions take names the engine uses inside it is built on the
# installed package and run (examples/own_names).
# Uses a configured preset (default: release): builds its engine, installs
# it into a prefix under build/consumers/, which the run makes anew. The
# add_subdirectory build takes the preset's build type and warning flags and
# is made in build/consumer-subdirectory, a folder as deep in the repository
# as the preset's: its engine sources compile exactly as the preset's do, so
# that ccache, with CCACHE_BASEDIR at the repository, serves the objects the
# preset's build made.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
preset="${1:-release}"
work="$repo/build/consumers"
subdirectory_build="$repo/build/consumer-subdirectory"
rm -rf "$work" "$subdirectory_build"
mkdir -p "$work"
export CCACHE_BASEDIR="$repo"

# cache_value <name>: a variable of the preset's configured build.
cache_value() {
  sed -n "s/^$1:[A-Z]*=//p" "build/$preset/CMakeCache.txt"
}
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LP_NUM_THREADS=0

# run <way> <program>: 30 frames in a folder of its own, the last one saved.
run() {
  mkdir "$work/run-$1"
  (cd "$work/run-$1" && "$2" 30 last.png)
  if [ ! -s "$work/run-$1/last.png" ]; then
    echo "consumers: the program built by $1 saved no frame" >&2
    exit 1
  fi
  echo "consumers: $1: built and ran"
}

cmake --build --preset "$preset" --target morpotta_engine >/dev/null
cmake --install "build/$preset" --prefix "$work/prefix" >/dev/null

# The engine keeps its own names out of a program's way: the installed
# archives define no global name that the public headers do not declare,
# and a program whose functions take names the engine uses inside it
# (examples/own_names) links and runs.
python3 scripts/check-symbols.py "$work/prefix"
cmake -S examples/own_names -B "$work/own-names" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/own-names" >/dev/null
run own-names "$work/own-names/own_names"

# The installed CMake package.
cmake -S examples/hello -B "$work/package" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
      -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/package" >/dev/null
run package "$work/package/hello"

# The installed pkg-config module.
pc_dir=$(dirname "$(find "$work/prefix" -name morpotta-engine.pc)")

# One version: the pkg-config module's, the CMake package's and the
# installed header's, which a program tests with #if.
version=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --modversion morpotta-engine)
package_version=$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' \
                  "$(find "$work/prefix" -name MorpottaEngineConfigVersion.cmake)")
header_version=$(sed -n 's/^#define MORPOTTA_ENGINE_VERSION_STRING "\(.*\)"$/\1/p' \
                 "$work/prefix/include/engine/version.h")
IFS=. read -r major minor patch <<<"$version"
if [ "$package_version" != "$version" ] || [ "$header_version" != "$version" ] ||
   ! printf '#include <engine/version.h>\n#if MORPOTTA_ENGINE_VERSION != MORPOTTA_ENGINE_MAKE_VERSION(%s, %s, %s)\n#error\n#endif\n' \
       "$major" "$minor" "$patch" | g++ -std=c++17 -fsyntax-only -I "$work/prefix/include" -x c++ -; then
  echo "consumers: the versions differ: pkg-config $version, CMake package $package_version," \
       "engine/version.h $header_version" >&2
  exit 1
fi
echo "consumers: one version, $version"
flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs --static morpotta-engine)
# shellcheck disable=SC2086 # the flags are words
g++ -std=c++17 -Wall -Wextra -Werror -o "$work/hello-pkg-config" examples/hello/main.cpp $flags
run pkg-config "$work/hello-pkg-config"

# The repository in another project's build, which defines the engine
# alone: no game, tools, content, tests or benchmarks.
mkdir "$work/subdirectory-source"
cat >"$work/subdirectory-source/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(hello LANGUAGES CXX)
add_subdirectory("$repo" morpotta EXCLUDE_FROM_ALL)
add_executable(hello "$repo/examples/hello/main.cpp")
target_link_libraries(hello PRIVATE Morpotta::Engine)
foreach(own game wiiremote content content_generator morpotta test_fonts bench_graphics public_headers)
  if(TARGET \${own})
    message(FATAL_ERROR "add_subdirectory defines \${own}, which a program on the engine does not need")
  endif()
endforeach()
CMAKE
preset_flags=(-DCMAKE_BUILD_TYPE="$(cache_value CMAKE_BUILD_TYPE)" -DMORPOTTA_WERROR="$(cache_value MORPOTTA_WERROR)")
build_type=$(cache_value CMAKE_BUILD_TYPE | tr '[:lower:]' '[:upper:]')
if [ -n "$build_type" ]; then
  for language in C CXX; do
    preset_flags+=(-DCMAKE_${language}_FLAGS_$build_type="$(cache_value "CMAKE_${language}_FLAGS_$build_type")")
  done
fi
cmake -S "$work/subdirectory-source" -B "$subdirectory_build" -G Ninja "${preset_flags[@]}" >/dev/null
cmake --build "$subdirectory_build" >/dev/null
run add_subdirectory "$subdirectory_build/hello"

# The libraries the engine stands on, as imported targets. The build reads
# this file, and so does the installed package (MorpottaEngineConfig.cmake)
# for the program that links the engine: its static libraries name these
# targets in their link interface, so a program names none of them itself.
#
# MORPOTTA_FIND_MODE: REQUIRED in the build; in the package, REQUIRED or
# QUIET as the program's find_package asked. Afterwards
# MORPOTTA_ENGINE_MISSING lists what was not found, and
# MORPOTTA_ENGINE_PKG_LDFLAGS the link flags of the pkg-config modules found
# (the morpotta-engine pkg-config module's link line carries them).
#
# The pkg-config lookups are GLOBAL and their prefixes MORPOTTA_*, so a
# program that takes the repository in with add_subdirectory sees them from
# its own folders and keeps its own PkgConfig:: targets apart from these.
# The tests, tools and benchmarks that call one of these libraries
# themselves link its target here too, rather than look it up again.
set(MORPOTTA_ENGINE_MISSING)
set(MORPOTTA_ENGINE_PKG_LDFLAGS)

macro(morpotta_engine_package name)
  find_package(${name} ${MORPOTTA_FIND_MODE})
  if(NOT ${name}_FOUND)
    list(APPEND MORPOTTA_ENGINE_MISSING ${name})
  endif()
endmacro()

# morpotta_engine_pkg(<prefix> <module>...): PkgConfig::<prefix>.
macro(morpotta_engine_pkg prefix)
  pkg_check_modules(${prefix} ${MORPOTTA_FIND_MODE} IMPORTED_TARGET GLOBAL ${ARGN})
  if(${prefix}_FOUND)
    list(APPEND MORPOTTA_ENGINE_PKG_LDFLAGS ${${prefix}_LDFLAGS})
  else()
    list(APPEND MORPOTTA_ENGINE_MISSING ${ARGN})
  endif()
endmacro()

morpotta_engine_package(Threads)
morpotta_engine_package(PkgConfig)
if(PkgConfig_FOUND)
  # foundation: the archives' CRC-32.
  morpotta_engine_pkg(MORPOTTA_ZLIB zlib)
  # platform: window, GL context, events and audio; MPEG audio; MIDI
  # synthesis; the window's legacy X11 title; movie files other than Theora.
  morpotta_engine_pkg(MORPOTTA_SDL2 sdl2)
  morpotta_engine_pkg(MORPOTTA_MPG123 libmpg123)
  morpotta_engine_pkg(MORPOTTA_FLUIDSYNTH fluidsynth)
  morpotta_engine_pkg(MORPOTTA_X11 x11)
  morpotta_engine_pkg(MORPOTTA_AVMOVIE libavformat libavcodec libavutil)
  # graphics: OpenGL, PNG and JPEG pictures, glyphs, installed faces by name.
  morpotta_engine_pkg(MORPOTTA_EPOXY epoxy)
  morpotta_engine_pkg(MORPOTTA_LIBPNG libpng)
  morpotta_engine_pkg(MORPOTTA_JPEG libjpeg)
  morpotta_engine_pkg(MORPOTTA_FREETYPE freetype2)
  morpotta_engine_pkg(MORPOTTA_FONTCONFIG fontconfig)
  # sound and movies: Ogg Vorbis, Ogg Theora.
  morpotta_engine_pkg(MORPOTTA_VORBISFILE vorbisfile)
  morpotta_engine_pkg(MORPOTTA_THEORA theora ogg)
  # models: rigid-body physics.
  morpotta_engine_pkg(MORPOTTA_BULLET bullet)
endif()

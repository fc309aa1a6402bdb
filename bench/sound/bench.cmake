# The reference mixer lives with the platform layer (it includes SDL) but
# is built into this benchmark only.
pkg_check_modules(SDL2_MIXER REQUIRED IMPORTED_TARGET SDL2_mixer)
target_sources(bench_sound PRIVATE ${PROJECT_SOURCE_DIR}/platform/reference/mixer_reference_sdl.cpp)
target_include_directories(bench_sound PRIVATE ${PROJECT_SOURCE_DIR}/platform ${PROJECT_SOURCE_DIR}/engine)
target_link_libraries(bench_sound PRIVATE PkgConfig::SDL2_MIXER PkgConfig::MORPOTTA_SDL2)
# Decoding through the converter measured beside the decoder libraries called directly.
target_link_libraries(bench_sound PRIVATE PkgConfig::MORPOTTA_MPG123 PkgConfig::MORPOTTA_VORBISFILE)

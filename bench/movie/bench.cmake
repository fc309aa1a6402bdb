# The movie decoder measured beside libswscale (the colour conversion) and
# libavcodec's Theora decoder (whole frames); the movie is encoded when the
# benchmark starts, by the tests' movie writer.
pkg_check_modules(BENCH_MOVIE REQUIRED IMPORTED_TARGET libswscale libavcodec libavutil theora theoraenc vorbisenc vorbis ogg)
target_link_libraries(bench_movie PRIVATE PkgConfig::BENCH_MOVIE)
target_include_directories(bench_movie PRIVATE ${PROJECT_SOURCE_DIR}/engine ${PROJECT_SOURCE_DIR}/tests/common)

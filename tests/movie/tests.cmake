# Test movies are encoded at test time with libtheora's encoder and libvorbis.
pkg_check_modules(MOVIE_ENCODERS REQUIRED IMPORTED_TARGET theoraenc vorbisenc vorbis ogg)
target_link_libraries(${target} PRIVATE PkgConfig::MOVIE_ENCODERS)

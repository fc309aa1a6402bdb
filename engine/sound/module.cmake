# Sound: Ogg Vorbis through vorbisfile (MPEG audio is decoded in the platform layer).
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
target_link_libraries(engine_sound PRIVATE PkgConfig::VORBISFILE)

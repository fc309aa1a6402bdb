# Sound: Ogg Vorbis through vorbisfile (MPEG audio is decoded in the platform layer).
target_link_libraries(engine_sound PRIVATE PkgConfig::MORPOTTA_VORBISFILE)

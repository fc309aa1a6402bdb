# Movies: Ogg Theora through libogg and libtheora's decoding interface.
target_link_libraries(engine_movie PRIVATE PkgConfig::MORPOTTA_THEORA)

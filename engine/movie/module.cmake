# Movies: Ogg Theora through libogg and libtheora's decoding interface.
pkg_check_modules(THEORA REQUIRED IMPORTED_TARGET theora ogg)
target_link_libraries(engine_movie PRIVATE PkgConfig::THEORA)

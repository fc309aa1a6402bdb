# The foundation checks archive contents with zlib's CRC-32.
target_link_libraries(engine_foundation PRIVATE PkgConfig::MORPOTTA_ZLIB)

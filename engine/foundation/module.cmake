# The foundation checks archive contents with zlib's CRC-32.
find_package(ZLIB REQUIRED)
target_link_libraries(engine_foundation PRIVATE ZLIB::ZLIB)

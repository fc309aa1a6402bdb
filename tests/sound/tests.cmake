# The MP3 tests compare the graph's decoding with libmpg123 called directly.
pkg_check_modules(TEST_MPG123 REQUIRED IMPORTED_TARGET libmpg123)
target_link_libraries(${target} PRIVATE PkgConfig::TEST_MPG123)

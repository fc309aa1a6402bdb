# The MP3 tests compare the graph's decoding with libmpg123 called directly.
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_MPG123)

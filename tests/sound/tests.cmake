# The MP3 tests compare the graph's decoding with libmpg123 called directly.
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_MPG123)
# A picture offered as a sound is written with the graphics tests' writer.
target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/graphics/image_writers.cpp)
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_LIBPNG PkgConfig::MORPOTTA_JPEG)
target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/graphics)

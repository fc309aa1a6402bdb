# The direct library decodes the readers are compared with.
target_link_libraries(bench_graphics PRIVATE PkgConfig::MORPOTTA_LIBPNG PkgConfig::MORPOTTA_JPEG)
# The engine's thread's waits load models and sounds made by the tests' writers.
target_include_directories(bench_graphics PRIVATE ${PROJECT_SOURCE_DIR}/engine ${PROJECT_SOURCE_DIR}/platform
                                                  ${PROJECT_SOURCE_DIR}/tests/common)

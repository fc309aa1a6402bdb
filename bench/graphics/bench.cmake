# The direct library decodes the readers are compared with.
pkg_check_modules(BENCH_PNG REQUIRED IMPORTED_TARGET libpng)
find_package(JPEG REQUIRED)
target_link_libraries(bench_graphics PRIVATE PkgConfig::BENCH_PNG JPEG::JPEG)
# The engine's thread's waits load models and sounds made by the tests' writers.
target_include_directories(bench_graphics PRIVATE ${PROJECT_SOURCE_DIR}/engine ${PROJECT_SOURCE_DIR}/platform
                                                  ${PROJECT_SOURCE_DIR}/tests/common)

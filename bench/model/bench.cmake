# The model benchmarks build their meshes and instances with the tests' generators.
target_include_directories(bench_model PRIVATE ${CMAKE_SOURCE_DIR}/engine ${CMAKE_SOURCE_DIR}/platform
                                               ${CMAKE_SOURCE_DIR}/tests/model)

# The model benchmarks build their meshes and instances with the tests'
# generators; the MQO load is measured beside an OBJ import of the same
# geometry, the X load beside an import of the same files.
target_include_directories(bench_model PRIVATE ${PROJECT_SOURCE_DIR}/engine ${PROJECT_SOURCE_DIR}/platform
                                               ${PROJECT_SOURCE_DIR}/tests/model ${PROJECT_SOURCE_DIR}/tests/common)
pkg_check_modules(ASSIMP REQUIRED IMPORTED_TARGET assimp)
target_link_libraries(bench_model PRIVATE PkgConfig::ASSIMP)

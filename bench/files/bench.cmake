# zlib inflate is the yardstick for the block codec; the archive format code
# is inside the engine's foundation.
target_link_libraries(bench_files PRIVATE PkgConfig::MORPOTTA_ZLIB)
target_include_directories(bench_files PRIVATE ${PROJECT_SOURCE_DIR}/engine)

# Archive tests pack folders with the real packer and patch archive bytes
# (CRC-32 from zlib).
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_ZLIB)
add_dependencies(${target} archive_packer)
target_compile_definitions(${target} PRIVATE ARCHIVE_PACKER_PATH="$<TARGET_FILE:archive_packer>")
# The durable-set tests skip the disk's flushes (tests/common/fsync_spy.h),
# which finds the C library's own fsync through dlsym.
target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/fsync_spy.cpp)
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})

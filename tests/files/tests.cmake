# Archive tests pack folders with the real packer and patch archive bytes
# (CRC-32 from zlib).
find_package(ZLIB REQUIRED)
target_link_libraries(${target} PRIVATE ZLIB::ZLIB)
add_dependencies(${target} archive_packer)
target_compile_definitions(${target} PRIVATE ARCHIVE_PACKER_PATH="$<TARGET_FILE:archive_packer>")

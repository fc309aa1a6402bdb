# The scene test saves its pictures as PNG.
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
target_link_libraries(${target} PRIVATE PkgConfig::PNG)
# The lane identities test passes 32-byte vectors between inlined helpers
# (see engine/softblit/module.cmake).
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/test_lane_identities.cpp PROPERTIES COMPILE_OPTIONS -Wno-psabi)

# The scene test saves its pictures as PNG.
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_LIBPNG)
# The lane identities test passes 32-byte vectors between inlined helpers
# (see engine/softblit/module.cmake).
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/test_lane_identities.cpp PROPERTIES COMPILE_OPTIONS -Wno-psabi)

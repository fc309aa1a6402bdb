# The software blits measured side by side with pixman.
pkg_check_modules(PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
target_link_libraries(bench_softblit PRIVATE PkgConfig::PIXMAN)
# The table runs our kernels under each of their forms (engine internals).
target_include_directories(bench_softblit PRIVATE ${CMAKE_SOURCE_DIR}/engine)

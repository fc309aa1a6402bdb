# The software blits measured side by side with pixman.
pkg_check_modules(PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
target_link_libraries(bench_softblit PRIVATE PkgConfig::PIXMAN)

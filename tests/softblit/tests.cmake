# The scene test saves its pictures as PNG.
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
target_link_libraries(${target} PRIVATE PkgConfig::PNG)

# Graphics: OpenGL through libepoxy, picture readers through libpng and libjpeg.
pkg_check_modules(EPOXY REQUIRED IMPORTED_TARGET epoxy)
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
find_package(JPEG REQUIRED)
target_link_libraries(engine_graphics PRIVATE PkgConfig::EPOXY PkgConfig::LIBPNG JPEG::JPEG)

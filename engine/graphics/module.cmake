# Graphics: OpenGL through libepoxy, picture readers through libpng and libjpeg.
target_link_libraries(engine_graphics PRIVATE PkgConfig::MORPOTTA_EPOXY PkgConfig::MORPOTTA_LIBPNG PkgConfig::MORPOTTA_JPEG)

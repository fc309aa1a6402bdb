# Fonts: glyph outlines rasterised by FreeType.
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
target_link_libraries(engine_graphics PRIVATE PkgConfig::FREETYPE)

# Fonts: glyph outlines rasterised by FreeType; faces named by a program,
# and the default face when its file is missing, found among the installed
# ones through fontconfig.
target_link_libraries(engine_graphics PRIVATE PkgConfig::MORPOTTA_FREETYPE PkgConfig::MORPOTTA_FONTCONFIG)

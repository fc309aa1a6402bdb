# The fuzz seed writer: pictures through libpng and libjpeg, sounds and
# models through the content generator's library, movies through libtheora
# and libvorbis (with the tests' movie writer), the save record through the
# game library.
pkg_check_modules(SEED_ENCODERS REQUIRED IMPORTED_TARGET theoraenc vorbisenc vorbis ogg)
target_link_libraries(${target} PRIVATE content_generator_core game PkgConfig::MORPOTTA_JPEG PkgConfig::MORPOTTA_ZLIB
                      PkgConfig::SEED_ENCODERS)
target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)

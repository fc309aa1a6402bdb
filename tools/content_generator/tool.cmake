# The content generator: PNG through libpng, captions through FreeType, MP3
# through the LAME encoder library. The build runs it into
# <build dir>/tpa (with <build dir>/contact_sheet.png beside it), so the game
# started from the build directory finds its resources.
pkg_check_modules(CONTENT_PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(CONTENT_FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(CONTENT_LAME REQUIRED IMPORTED_TARGET lame)
target_link_libraries(${target} PRIVATE PkgConfig::CONTENT_PNG PkgConfig::CONTENT_FREETYPE PkgConfig::CONTENT_LAME)

set(CONTENT_STAMP ${CMAKE_BINARY_DIR}/tpa/.generated)
add_custom_command(
  OUTPUT ${CONTENT_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/tpa
  COMMAND $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${CONTENT_STAMP}
  DEPENDS ${target}
  COMMENT "Generating the resource tree tpa/"
  VERBATIM)
add_custom_target(content ALL DEPENDS ${CONTENT_STAMP})

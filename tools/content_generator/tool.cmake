# The content generator: PNG through libpng, captions through FreeType, MP3
# through the LAME encoder library. The build runs it into
# <build dir>/tpa (with <build dir>/contact_sheet.png beside it), so the game
# started from the build directory finds its resources.
pkg_check_modules(CONTENT_LAME REQUIRED IMPORTED_TARGET lame)
# Everything but main.cpp is a library of its own, which the content tests
# link too.
file(GLOB content_core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(FILTER content_core_sources EXCLUDE REGEX "/main\\.cpp$")
add_library(content_generator_core STATIC ${content_core_sources})
target_include_directories(content_generator_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(content_generator_core PUBLIC Morpotta::Engine PkgConfig::MORPOTTA_LIBPNG
                      PkgConfig::MORPOTTA_FREETYPE PkgConfig::CONTENT_LAME)
# The checker measures the stage names against the game's row of the stage
# select, a header of the game's (its view holds the game folder alone).
target_include_directories(content_generator_core PRIVATE ${MORPOTTA_SOURCE_VIEWS}/game)
target_compile_definitions(content_generator_core PUBLIC
  CONTENT_DEFAULT_FONT="/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"
  CONTENT_PROOF_DIR="${CMAKE_CURRENT_LIST_DIR}/proofs")
set_property(TARGET ${target} PROPERTY SOURCES ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(${target} PRIVATE content_generator_core)

# The stages' stored proofs (tools/planner) choose the designs and make the
# time table; the planner then records the demo replays from them.
set(CONTENT_STAMP ${PROJECT_BINARY_DIR}/tpa/.generated)
file(GLOB content_proofs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/proofs/*.txt)
add_custom_command(
  OUTPUT ${CONTENT_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/tpa
  COMMAND $<TARGET_FILE:${target}> ${PROJECT_BINARY_DIR}
  COMMAND $<TARGET_FILE:planner> record ${PROJECT_BINARY_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${CONTENT_STAMP}
  DEPENDS ${target} planner ${content_proofs}
  COMMENT "Generating the resource tree tpa/"
  VERBATIM)
add_custom_target(content ALL DEPENDS ${CONTENT_STAMP})

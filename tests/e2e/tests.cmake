# The whole game end to end: the game's own scenes on the generated content,
# driven by scripted keys. It uses the game tests' fixture.
target_link_libraries(${target} PRIVATE game content_generator_core planner_core)
target_sources(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/content/generated_tree.cpp)
target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/game)
target_compile_definitions(${target} PRIVATE MORPOTTA_BUILD_DIR="${PROJECT_BINARY_DIR}")

# The window-lost cases start the game's own program on an X server of
# their own (Xvfb) and watch its window through Xlib and the damage
# extension.
pkg_check_modules(E2E_X11 REQUIRED IMPORTED_TARGET x11 xdamage)
target_link_libraries(${target} PRIVATE PkgConfig::E2E_X11)
target_compile_definitions(${target} PRIVATE MORPOTTA_GAME_EXE="$<TARGET_FILE:morpotta>")
add_dependencies(${target} morpotta)

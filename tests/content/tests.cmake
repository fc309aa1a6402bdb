target_link_libraries(${target} PRIVATE content_generator_core planner_core game)
# The tree the build generated, for the determinism test.
target_compile_definitions(${target} PRIVATE MORPOTTA_BUILD_DIR="${PROJECT_BINARY_DIR}")

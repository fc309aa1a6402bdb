# Start-up of the game on the generated resource tree of this build, and the
# loading of each kind of resource the game keeps.
target_link_libraries(bench_game PRIVATE game content_generator_core)
target_compile_definitions(bench_game PRIVATE MORPOTTA_BUILD_DIR="${PROJECT_BINARY_DIR}")
# The draw benchmark reads the recording device's record to keep it from
# growing between frames.
target_include_directories(bench_game PRIVATE ${PROJECT_SOURCE_DIR}/engine)

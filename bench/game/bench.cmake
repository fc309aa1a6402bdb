# The play benchmark runs the game's play logic on the generated stages.
target_link_libraries(bench_game PRIVATE game content_generator_core)

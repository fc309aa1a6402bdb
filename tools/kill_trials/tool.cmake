# The kill trials store through the game's own replay and save code: they
# link the game library.
target_link_libraries(${target} PRIVATE game)

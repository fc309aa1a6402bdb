# The game's entry links the game's classes.
target_link_libraries(${target} PRIVATE game)

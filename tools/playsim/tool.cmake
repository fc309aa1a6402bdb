# The play simulator runs the game's play logic: it links the game library.
target_link_libraries(${target} PRIVATE game)

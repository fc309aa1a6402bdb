target_link_libraries(${target} PRIVATE game)

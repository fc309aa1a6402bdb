target_link_libraries(${target} PRIVATE game)
# The durable-save test replaces fsync and finds the C library's own through dlsym.
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})

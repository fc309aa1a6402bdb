# The game's tests run the game on the generated resource tree of the build
# (or one generated for them).
target_link_libraries(${target} PRIVATE game content_generator_core)
target_sources(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/content/generated_tree.cpp)
target_compile_definitions(${target} PRIVATE MORPOTTA_BUILD_DIR="${CMAKE_BINARY_DIR}")
# The durable-save test replaces fsync and finds the C library's own through dlsym.
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})

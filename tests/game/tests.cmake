# The game's tests run the game on the generated resource tree of the build
# (or one generated for them).
target_link_libraries(${target} PRIVATE game content_generator_core planner_core)
target_sources(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/content/generated_tree.cpp)
target_compile_definitions(${target} PRIVATE MORPOTTA_BUILD_DIR="${PROJECT_BINARY_DIR}")
# The reference frames draw the fields the game benchmarks measure.
target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/bench/game)
# The durable-store tests replace fsync (tests/common/fsync_spy.h), which
# finds the C library's own through dlsym.
target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/fsync_spy.cpp)
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})

# The cases where the game meets other threads (the Wii remotes' read
# threads) are a program of their own, labelled "game" and "game_threads":
# "-L game" runs them with the rest, "-L game_threads" alone (the
# ThreadSanitizer run).
file(GLOB game_thread_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/threads/*.cpp)
add_executable(test_game_threads ${game_thread_tests})
target_link_libraries(test_game_threads PRIVATE game morpotta_platform GTest::gtest GTest::gtest_main)
target_include_directories(test_game_threads PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/platform
                           ${CMAKE_CURRENT_SOURCE_DIR}/common)
morpotta_discover_tests(test_game_threads game game_threads)

# Counted under callgrind rather than timed: calls of the hot public
# functions, one function a run (see the program's opening comment).
add_executable(hot_call_counts ${CMAKE_CURRENT_LIST_DIR}/counting/hot_call_counts.cpp)
target_link_libraries(hot_call_counts PRIVATE Morpotta::Engine)

# The stage planner: searches runs over the play simulator (the game
# library) for the content generator's stages, stores and checks proofs and
# records the demo replays. Everything but main.cpp is a library the tests
# link too.
file(GLOB planner_core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
list(FILTER planner_core_sources EXCLUDE REGEX "/main\\.cpp$")
add_library(planner_core STATIC ${planner_core_sources})
target_include_directories(planner_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(planner_core PUBLIC game content_generator_core)
set_property(TARGET ${target} PROPERTY SOURCES ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(${target} PRIVATE planner_core)

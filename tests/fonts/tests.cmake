target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../graphics)

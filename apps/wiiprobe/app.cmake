target_link_libraries(${target} PRIVATE wiiremote platform)

target_link_libraries(${target} PRIVATE wiiremote morpotta_platform)

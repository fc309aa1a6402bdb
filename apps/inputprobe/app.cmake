# The probe reads the game pads through the platform layer directly.
target_link_libraries(${target} PRIVATE platform)

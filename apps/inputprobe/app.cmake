# The probe shows the game's view of the devices, and reads the game pads
# through the platform layer directly.
target_link_libraries(${target} PRIVATE game morpotta_platform)

# The probe starts the sound system alone (no window), through the sound
# subsystem's own header, as the sound tests do.
target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/engine)
target_link_libraries(${target} PRIVATE morpotta_platform)

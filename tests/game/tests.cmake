target_link_libraries(${target} PRIVATE game)
# The play tests load every stage file the content generator writes.
target_link_libraries(${target} PRIVATE content_generator_core)

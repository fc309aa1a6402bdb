# The packer uses the archive format code inside the engine's foundation.
target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/engine)

# The GL drawing tests save what they draw as PNG with the graphics tests' writer.
pkg_check_modules(TEST_MODEL_PNG REQUIRED IMPORTED_TARGET libpng)
find_package(JPEG REQUIRED)
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/graphics/image_writers.cpp)
target_link_libraries(${target} PRIVATE PkgConfig::TEST_MODEL_PNG JPEG::JPEG)
target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/graphics)

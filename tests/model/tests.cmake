# The GL drawing tests save what they draw as PNG with the graphics tests' writer.
target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/graphics/image_writers.cpp)
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_LIBPNG PkgConfig::MORPOTTA_JPEG)
target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/graphics)
# The dump test loads the game's models as the content generator makes
# them and compares their hashes with the recorded ones.
target_link_libraries(${target} PRIVATE content_generator_core)
target_compile_definitions(${target} PRIVATE MORPOTTA_BUILD_DIR="${PROJECT_BINARY_DIR}"
                           MORPOTTA_MODEL_DUMPS_FILE="${PROJECT_SOURCE_DIR}/tests/model/model_dumps.txt")

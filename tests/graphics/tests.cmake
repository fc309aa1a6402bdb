# Fixtures and screenshots are written with libpng and libjpeg by the tests themselves.
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_LIBPNG PkgConfig::MORPOTTA_JPEG)
target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_LIST_DIR})

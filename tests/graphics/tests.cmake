# Fixtures and screenshots are written with libpng and libjpeg by the tests themselves.
pkg_check_modules(TEST_PNG REQUIRED IMPORTED_TARGET libpng)
find_package(JPEG REQUIRED)
target_link_libraries(${target} PRIVATE PkgConfig::TEST_PNG JPEG::JPEG)
target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_LIST_DIR})

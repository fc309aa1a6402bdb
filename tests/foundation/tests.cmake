# The X11 window test reads the window's properties through Xlib and asks
# SDL which driver it runs on. The runner's own test runs this program
# through it.
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_X11 PkgConfig::MORPOTTA_SDL2)
target_compile_definitions(${target} PRIVATE MORPOTTA_TEST_RUNNER="${MORPOTTA_TEST_RUNNER}")
# The refusal table checks itself against every function the public headers declare.
target_compile_definitions(${target} PRIVATE MORPOTTA_PUBLIC_HEADERS_DIR="${PROJECT_SOURCE_DIR}/engine/include/engine")

# The X11 window test reads the window's properties through Xlib and asks
# SDL which driver it runs on. The runner's own test runs this program
# through it.
target_link_libraries(${target} PRIVATE PkgConfig::MORPOTTA_X11 PkgConfig::MORPOTTA_SDL2)
target_compile_definitions(${target} PRIVATE MORPOTTA_TEST_RUNNER="${MORPOTTA_TEST_RUNNER}")

# A program that starts the engine and ends without shutting it down, which
# the lifecycle tests run in a process of its own (it makes the headless
# window inactive through the platform layer).
add_executable(end_without_shutdown ${CMAKE_CURRENT_LIST_DIR}/programs/end_without_shutdown.cpp)
target_link_libraries(end_without_shutdown PRIVATE Morpotta::Engine morpotta_platform)
# It watches the engine's waits through an engine subsystem of its own.
target_include_directories(end_without_shutdown PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/common ${PROJECT_SOURCE_DIR}/engine)
add_dependencies(${target} end_without_shutdown)
target_compile_definitions(${target} PRIVATE MORPOTTA_END_WITHOUT_SHUTDOWN="$<TARGET_FILE:end_without_shutdown>")
# The refusal table checks itself against every function the public headers declare.
target_compile_definitions(${target} PRIVATE MORPOTTA_PUBLIC_HEADERS_DIR="${PROJECT_SOURCE_DIR}/engine/include/engine")

# The refusal test opens a Theora movie it encodes at test time.
pkg_check_modules(FOUNDATION_MOVIE_ENCODERS REQUIRED IMPORTED_TARGET theoraenc vorbisenc vorbis ogg)
target_link_libraries(${target} PRIVATE PkgConfig::FOUNDATION_MOVIE_ENCODERS)
# The refusal sweep reads the tree's own test assets: the fuzz seeds.
target_compile_definitions(${target} PRIVATE MORPOTTA_FUZZ_CORPUS_DIR="${PROJECT_SOURCE_DIR}/fuzz/corpus")

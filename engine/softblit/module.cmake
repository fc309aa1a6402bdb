# Software blit kernels: lane values (32-byte vectors) only ever pass
# between functions inlined into one kernel, so GCC's notes on how such
# values would be passed between separate functions do not apply.
file(GLOB SOFTBLIT_SOURCES ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
set_source_files_properties(${SOFTBLIT_SOURCES} PROPERTIES COMPILE_OPTIONS -Wno-psabi)
# Each file is a table of kernels that takes its own long compile: they go
# side by side, never in batches.
set_target_properties(engine_softblit PROPERTIES UNITY_BUILD OFF)
# Under the sanitizers the kernels are compiled unoptimised: their thousands
# of specialisations took half the time of a sanitizer build at -O1, and the
# checks see every access at -O0 as well. The vector forms are checked by
# AddressSanitizer alone: with the undefined-behaviour checks as well, each
# of their files takes minutes and gigabytes to compile, and their lane
# arithmetic is the scalar rules' (checked in full in the scalar kernels).
if(MORPOTTA_SANITIZE)
  set_source_files_properties(${SOFTBLIT_SOURCES} PROPERTIES COMPILE_OPTIONS "-Wno-psabi;-O0")
endif()
if(MORPOTTA_SANITIZE STREQUAL "address")
  file(GLOB SOFTBLIT_VECTOR_SOURCES ${CMAKE_CURRENT_LIST_DIR}/vector_*.cpp)
  set_source_files_properties(${SOFTBLIT_VECTOR_SOURCES} PROPERTIES COMPILE_OPTIONS "-Wno-psabi;-O0;-fno-sanitize=undefined")
endif()
# The thread-checking build tests the modules that meet other threads,
# none of which picks a kernel form: it builds the scalar form alone.
if(MORPOTTA_SANITIZE STREQUAL "thread")
  target_compile_definitions(engine_softblit PRIVATE SOFTBLIT_VECTOR_PATHS=0)
endif()

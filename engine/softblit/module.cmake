# Software blit kernels: lane values (32-byte vectors) only ever pass
# between functions inlined into one kernel, so GCC's notes on how such
# values would be passed between separate functions do not apply.
file(GLOB SOFTBLIT_SOURCES ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
set_source_files_properties(${SOFTBLIT_SOURCES} PROPERTIES COMPILE_OPTIONS -Wno-psabi)

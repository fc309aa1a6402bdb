# morpotta_cp932_literals(<sources>...): stores the narrow string literals
# of every source that contains non-ASCII bytes in code page 932 (GCC only).
function(morpotta_cp932_literals)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    return()
  endif()
  foreach(src ${ARGN})
    file(READ ${src} bytes HEX)
    # A byte of 0x80 or more is a hex pair starting 8-f. The pairs are set
    # apart first: a pattern that counts pairs from the start recurses once
    # per pair and overflows CMake's stack on a source of some 33 KB.
    string(REGEX REPLACE "(..)" "\\1 " pairs "${bytes}")
    string(REGEX MATCH "(^| )[89a-f]" found "${pairs}")
    if(found)
      set_property(SOURCE ${src} APPEND PROPERTY COMPILE_OPTIONS -fexec-charset=CP932)
    endif()
  endforeach()
endfunction()

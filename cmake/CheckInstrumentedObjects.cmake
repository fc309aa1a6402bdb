# Fails when an object about to be linked into a sanitizer build's program
# was compiled without the sanitizer: where such an object and an engine
# library both hold a copy of an inline function, the linker may keep the
# object's copy for the whole program, and the engine's calls to it then go
# unchecked. Every instrumented object calls the runtime's start-up
# function (the symbol), whatever it holds.
#   cmake -Dnm=<nm> -Dsymbol=<symbol> -Dprogram=<name> -Dobjects=<objects> -P CheckInstrumentedObjects.cmake
set(uninstrumented "")
foreach(object ${objects})
  execute_process(COMMAND ${nm} --undefined-only ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
  if(failed OR NOT symbols MATCHES "${symbol}")
    list(APPEND uninstrumented ${object})
  endif()
endforeach()
if(uninstrumented)
  list(JOIN uninstrumented "\n  " listed)
  message(FATAL_ERROR "${program}: objects compiled without the sanitizer (no call to ${symbol}):\n  ${listed}")
endif()

# cmake --install puts the engine in a prefix for programs outside this
# tree: the public headers (include/engine/), its static libraries, the
# CMake package MorpottaEngine (target Morpotta::Engine) and the pkg-config
# module morpotta-engine. The game, the Wii remote driver and the tools are
# this project's own and stay out.
include(CMakePackageConfigHelpers)

set(MORPOTTA_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/MorpottaEngine)

install(DIRECTORY engine/include/engine DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
install(FILES ${MORPOTTA_GENERATED_INCLUDE}/engine/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/engine)
install(TARGETS engine_api ${MORPOTTA_ENGINE_LIBRARIES} EXPORT MorpottaEngineTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT MorpottaEngineTargets NAMESPACE Morpotta:: DESTINATION ${MORPOTTA_CMAKE_PACKAGE_DIR})

configure_package_config_file(cmake/MorpottaEngineConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/package/MorpottaEngineConfig.cmake
                              INSTALL_DESTINATION ${MORPOTTA_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/MorpottaEngineConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/MorpottaEngineConfig.cmake
              ${PROJECT_BINARY_DIR}/package/MorpottaEngineConfigVersion.cmake
              cmake/MorpottaEngineDependencies.cmake
        DESTINATION ${MORPOTTA_CMAKE_PACKAGE_DIR})

# The pkg-config module finds the prefix from its own place, so the prefix
# given to cmake --install (--prefix) holds, whatever the build was
# configured with. Its link line is the engine's archives in link order,
# then the link flags of the (shared) libraries they stand on as the build
# found them: it requires no other module, since under --static pkg-config
# would follow those modules to static libraries of their own that a
# system need not have (libavformat's are many). The public headers include
# none of the dependencies' headers, so the compile flags are the include
# folder alone.
file(RELATIVE_PATH MORPOTTA_PC_PREFIX_FROM_PCFILEDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" MORPOTTA_PC_PREFIX_FROM_PCFILEDIR "${MORPOTTA_PC_PREFIX_FROM_PCFILEDIR}")
set(MORPOTTA_PC_LIBS)
foreach(library ${MORPOTTA_ENGINE_LIBRARIES})
  get_target_property(name ${library} OUTPUT_NAME)
  if(NOT name)
    set(name ${library})
  endif()
  string(APPEND MORPOTTA_PC_LIBS " -l${name}")
endforeach()
string(STRIP "${MORPOTTA_PC_LIBS}" MORPOTTA_PC_LIBS)
set(MORPOTTA_PC_DEPENDENCY_LIBS ${MORPOTTA_ENGINE_PKG_LDFLAGS})
list(REMOVE_DUPLICATES MORPOTTA_PC_DEPENDENCY_LIBS)
foreach(library ${CMAKE_DL_LIBS})
  list(APPEND MORPOTTA_PC_DEPENDENCY_LIBS -l${library})
endforeach()
list(JOIN MORPOTTA_PC_DEPENDENCY_LIBS " " MORPOTTA_PC_DEPENDENCY_LIBS)
configure_file(cmake/morpotta-engine.pc.in ${PROJECT_BINARY_DIR}/package/morpotta-engine.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/morpotta-engine.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

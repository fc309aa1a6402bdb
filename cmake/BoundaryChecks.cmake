# The engine's boundary, checked by the build and by scripts/check-boundary.sh.
#
# public_headers: every header of engine/include/engine/ compiled on its own
# with the public include root alone, so none of them leans on an internal
# header. Part of every build.
file(GLOB public_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/engine/include/engine/*.h)
set(public_header_sources)
foreach(header ${public_headers})
  get_filename_component(name ${header} NAME_WE)
  set(source ${PROJECT_BINARY_DIR}/boundary/public_${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "#include \"engine/${name}.h\"\n")
  list(APPEND public_header_sources ${source})
endforeach()
add_library(public_headers OBJECT ${public_header_sources})
# Each alone: in a batch one header's includes would cover for another's.
set_target_properties(public_headers PROPERTIES UNITY_BUILD OFF)
target_link_libraries(public_headers PRIVATE engine_api)

# Probes that must NOT build: a game source and a tool source that include
# an engine-internal or a platform header, compiled exactly as the game and
# the tools are (their usage requirements alone). Never part of a normal build.
function(morpotta_boundary_probe name header library)
  set(source ${PROJECT_BINARY_DIR}/boundary/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${header}\"\n")
  add_library(${name} OBJECT EXCLUDE_FROM_ALL ${source})
  set_target_properties(${name} PROPERTIES UNITY_BUILD OFF)
  target_link_libraries(${name} PRIVATE ${library})
endfunction()
morpotta_boundary_probe(boundary_probe_game_engine graphics/device/device.h game)
morpotta_boundary_probe(boundary_probe_game_platform platform/shell.h game)
morpotta_boundary_probe(boundary_probe_tool_engine foundation/archive_table.h Morpotta::Engine)

# upd_library(NAME [TOOL] SOURCES... DEPENDS LAYERS...): the static library
# of one layer, from the sources named, linking the layers below it. The
# program's rules apply (no exceptions, no RTTI, each function in a section
# of its own, so the linker drops what the updater does not call) unless
# the layer serves only the tools (TOOL).
function(upd_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "TOOL" "" "DEPENDS")
  add_library(${name} STATIC ${arg_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(NOT arg_TOOL)
    target_compile_options(${name} PRIVATE ${UPD_PROGRAM_FLAGS}
      -ffunction-sections)
  endif()
  target_link_libraries(${name} PUBLIC ${arg_DEPENDS})
endfunction()

# upd_library(NAME DIR DEPS...): a static library of the layer in DIR, made of
# its .cpp files, linking the layers below it.
function(upd_library name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/main_[^/]*\\.cpp$")
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  foreach(dep ${ARGN})
    target_link_libraries(${name} PUBLIC $<TARGET_NAME_IF_EXISTS:${dep}>)
  endforeach()
endfunction()

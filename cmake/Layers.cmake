# Layering enforced by the build.
#
# Each layer of the program (framework, and each program module) is compiled
# against include roots that hold only the layers it links. A root is a
# directory in the build tree that contains one link named after the layer,
# pointing at the layer's source folder, so `#include "framework/CString.h"`
# resolves only for targets that link the framework library. The platform
# layer has real per-OS include folders of its own.

set(VORLA_LAYER_ROOT ${CMAKE_BINARY_DIR}/layers)

# vorla_layer_include(<target> <folder> <PUBLIC|INTERFACE>)
function(vorla_layer_include target folder scope)
  set(root ${VORLA_LAYER_ROOT}/${folder})
  set(link ${root}/${folder})
  if(NOT EXISTS ${link})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${link} SYMBOLIC RESULT result)
    if(NOT result EQUAL 0)
      # Without symbolic links (some Windows hosts) fall back to the source
      # tree: the build still works, it just no longer polices the layers.
      message(STATUS "Layer include link for ${folder} not possible (${result}); using the source tree")
      set(root ${CMAKE_SOURCE_DIR})
    endif()
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# vorla_module(<target> <folder> LIBS <public links...>): a library of the
# program built from the folder's sources (an interface library while the
# folder holds headers only).
function(vorla_module target folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${folder}/Main.cpp)
  if(sources)
    add_library(${target} STATIC ${sources})
    vorla_layer_include(${target} ${folder} PUBLIC)
    target_link_libraries(${target} PUBLIC ${ARG_LIBS} PRIVATE vorla_settings)
  else()
    add_library(${target} INTERFACE)
    vorla_layer_include(${target} ${folder} INTERFACE)
    target_link_libraries(${target} INTERFACE ${ARG_LIBS})
  endif()
endfunction()

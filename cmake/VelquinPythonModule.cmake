# velquin_python_module(<name> OUTPUT_DIR <dir> SOURCES <files...> [LINK <targets...>] [INCLUDE <dirs...>])
# Builds one extension module for the host interpreter into OUTPUT_DIR.
function(velquin_python_module name)
  cmake_parse_arguments(ARG "" "OUTPUT_DIR" "SOURCES;LINK;INCLUDE;DEFINITIONS" ${ARGN})
  pybind11_add_module(${name} MODULE NO_EXTRAS ${ARG_SOURCES})
  velquin_warnings(${name})
  if(ARG_LINK)
    target_link_libraries(${name} PRIVATE ${ARG_LINK})
  endif()
  if(ARG_INCLUDE)
    target_include_directories(${name} PRIVATE ${ARG_INCLUDE})
  endif()
  if(ARG_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  endif()
  set_target_properties(${name} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR}
    BUILD_RPATH "$ORIGIN"
    INSTALL_RPATH "$ORIGIN")
endfunction()

# Every velquin module is built from all the C++ files of its folder.
function(velquin_package_module name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  velquin_python_module(${name} OUTPUT_DIR ${VELQUIN_PYTHON_OUTPUT_DIR}
    SOURCES ${sources} INCLUDE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})
endfunction()

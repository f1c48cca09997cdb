# Header-only libraries of the host (nlohmann-json, Boost.Polygon), taken by their own folder alone:
# the host's whole include folder holds headers that a cross build must not see.
#   header_only_library(NAME HEADER FOLDER PACKAGE) makes an interface library NAME whose include
#   folder holds just FOLDER, found where HEADER is; PACKAGE names the Debian package in the error.
function(header_only_library name header folder package)
  find_path(${name}_INCLUDE_DIR ${header} NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${name}_INCLUDE_DIR)
    message(FATAL_ERROR "${header} not found (Debian: ${package})")
  endif()
  set(only ${CMAKE_BINARY_DIR}/header_only/${name})
  file(MAKE_DIRECTORY ${only})
  file(CREATE_LINK ${${name}_INCLUDE_DIR}/${folder} ${only}/${folder} SYMBOLIC)
  add_library(${name} INTERFACE)
  target_include_directories(${name} SYSTEM INTERFACE ${only})
endfunction()

# solvane_version: the header that carries the project's version into the programs.
configure_file(${CMAKE_CURRENT_LIST_DIR}/solvane_version.h.in
  ${CMAKE_BINARY_DIR}/generated/solvane_version.h @ONLY)
add_library(solvane_version INTERFACE)
target_include_directories(solvane_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

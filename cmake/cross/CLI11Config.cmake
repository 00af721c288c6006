# CLI11 for cross builds. The package's own config would add the whole of
# /usr/include, whose C library headers belong to the build machine; this
# one exposes the CLI folder alone.
if(NOT TARGET CLI11::CLI11)
  find_path(BATCHEXT_CLI11_HEADERS CLI/CLI.hpp PATHS /usr/include
            NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
  set(_cli11_include ${CMAKE_BINARY_DIR}/cli11-include)
  file(MAKE_DIRECTORY ${_cli11_include})
  file(CREATE_LINK ${BATCHEXT_CLI11_HEADERS}/CLI ${_cli11_include}/CLI
       SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${_cli11_include})
endif()
set(CLI11_FOUND TRUE)

# The command-line tool's dependencies, taken from the system's packages and
# presented as imported targets:
#   ZEB::CLI11   argument parsing (libcli11-dev, header only)
#   ZEB::Json    JSON (nlohmann-json3-dev, header only)
#   ZEB::Gcrypt  SHA-256 (libgcrypt20-dev; libgcrypt-mingw-w64-dev for Windows)
#
# The native build uses the packages' own CMake files. The cross build cannot:
# they point at the host's /usr/include, and putting that directory on the
# Windows compiler's search path would hide its own C library headers. The two
# header-only libraries are architecture-independent, so the cross build links
# only their own directories into the build tree and includes them from there.
# libgcrypt comes from the mingw-w64 tree; its DLLs (libgcrypt and libgpg-error)
# are copied next to the programs and installed beside them.

function(zeb_header_only_package name config_package config_target header)
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(${config_package} CONFIG REQUIRED)
    add_library(ZEB::${name} INTERFACE IMPORTED GLOBAL)
    target_link_libraries(ZEB::${name} INTERFACE ${config_target})
    return()
  endif()
  find_path(ZEB_${name}_HOST_INCLUDE ${header} NO_CMAKE_FIND_ROOT_PATH PATHS /usr/include /usr/local/include)
  if(NOT ZEB_${name}_HOST_INCLUDE)
    message(FATAL_ERROR "${header} not found: install the ${name} package of the host system")
  endif()
  string(REGEX REPLACE "/.*" "" top ${header})
  set(dir ${CMAKE_BINARY_DIR}/host-headers/${name})
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${ZEB_${name}_HOST_INCLUDE}/${top} ${dir}/${top} SYMBOLIC)
  add_library(ZEB::${name} INTERFACE IMPORTED GLOBAL)
  target_include_directories(ZEB::${name} SYSTEM INTERFACE ${dir})
endfunction()

zeb_header_only_package(CLI11 CLI11 CLI11::CLI11 CLI/CLI.hpp)
zeb_header_only_package(Json nlohmann_json nlohmann_json::nlohmann_json nlohmann/json.hpp)

find_path(ZEB_GCRYPT_INCLUDE gcrypt.h REQUIRED)
find_library(ZEB_GCRYPT_LIBRARY NAMES gcrypt libgcrypt REQUIRED)
if(WIN32)
  # The import library links; the DLLs run. libgcrypt needs libgpg-error.
  set(ZEB_GCRYPT_DLLS)
  foreach(dll libgcrypt-20.dll libgpg-error-0.dll)
    find_file(ZEB_DLL_${dll} ${dll} PATH_SUFFIXES bin REQUIRED)
    list(APPEND ZEB_GCRYPT_DLLS ${ZEB_DLL_${dll}})
  endforeach()
  if(CMAKE_RUNTIME_OUTPUT_DIRECTORY)
    file(COPY ${ZEB_GCRYPT_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  endif()
  install(FILES ${ZEB_GCRYPT_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
add_library(ZEB::Gcrypt INTERFACE IMPORTED GLOBAL)
target_include_directories(ZEB::Gcrypt SYSTEM INTERFACE ${ZEB_GCRYPT_INCLUDE})
target_link_libraries(ZEB::Gcrypt INTERFACE ${ZEB_GCRYPT_LIBRARY})

# Warnings every target of the project is built with.
function(zeb_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
endfunction()

# zeb_add_module(<target> <export-header> <macro-base> SOURCES ... [DEPS ...])
# A shared library of the family: hidden visibility, one export macro
# (<macro-base>_API) generated into <export-header> under the build tree.
function(zeb_add_module target header macro)
  cmake_parse_arguments(M "" "" "SOURCES;PUBLIC_DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${target} SHARED ${M_SOURCES})
  add_library(ZEBFile::${target} ALIAS ${target})
  generate_export_header(${target}
    BASE_NAME ${macro}
    EXPORT_MACRO_NAME ${macro}_API
    EXPORT_FILE_NAME ${CMAKE_BINARY_DIR}/exports/${header})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_BINARY_DIR}/exports>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${target} PUBLIC ${M_PUBLIC_DEPS} PRIVATE ${M_PRIVATE_DEPS})
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  zeb_warnings(${target})
endfunction()

# The compiler's runtime DLLs (C++ library, unwinder, threads) for a MinGW
# build: every module of the family shares them, so they are copied next to
# the programs (CMAKE_RUNTIME_OUTPUT_DIRECTORY) and installed beside the DLLs.
if(NOT MINGW)
  return()
endif()
set(ZEB_RUNTIME_DLLS)
# libgcc_s_seh-1.dll on 64-bit Windows, libgcc_s_dw2-1.dll on 32-bit.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
    get_filename_component(path "${path}" REALPATH)
    list(APPEND ZEB_RUNTIME_DLLS ${path})
  endif()
endforeach()
if(CMAKE_RUNTIME_OUTPUT_DIRECTORY AND ZEB_RUNTIME_DLLS)
  file(COPY ${ZEB_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endif()
install(FILES ${ZEB_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

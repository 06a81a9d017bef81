# The installed CMake package (find_package(ZEBFile CONFIG) gives
# ZEBFile::ZEBFile170) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(DIRECTORY ${CMAKE_BINARY_DIR}/exports/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h" PATTERN "ZEBPlatform" EXCLUDE)
install(EXPORT ZEBFileTargets NAMESPACE ZEBFile:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZEBFile)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZEBFileConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ZEBFileConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZEBFile)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZEBFileConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZEBFileConfig.cmake ${CMAKE_BINARY_DIR}/ZEBFileConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZEBFile)

configure_file(${CMAKE_CURRENT_LIST_DIR}/zebfile.pc.in ${CMAKE_BINARY_DIR}/zebfile.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zebfile.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

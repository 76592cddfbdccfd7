# cmake --install: headers, the shared library, a CMake package (Narwick::narwick) and narwick.pc.
include(CMakePackageConfigHelpers)

install(TARGETS narwick EXPORT NarwickTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/narwick DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT NarwickTargets NAMESPACE Narwick::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Narwick)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/NarwickConfig.cmake.in
  ${PROJECT_BINARY_DIR}/NarwickConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Narwick)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/NarwickConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/NarwickConfig.cmake ${PROJECT_BINARY_DIR}/NarwickConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Narwick)

# The .pc file finds its prefix relative to itself, so an install moved with
# `cmake --install --prefix` (or a staged DESTDIR) still describes itself correctly.
file(RELATIVE_PATH NARWICK_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/narwick.pc.in ${PROJECT_BINARY_DIR}/narwick.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/narwick.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

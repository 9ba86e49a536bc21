# What `cmake --install` gives a host developer beside the libraries and the
# headers: a CMake package, find_package(VantorelContainer 0.2) with the
# targets Vantorel::container-abstract and Vantorel::container-mkv, and
# pkg-config files of the same two libraries.
include(CMakePackageConfigHelpers)
set(VANTOREL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VantorelContainer)

install(EXPORT VantorelContainerTargets NAMESPACE Vantorel::
  FILE VantorelContainerTargets.cmake DESTINATION ${VANTOREL_CMAKEDIR})
configure_package_config_file(cmake/VantorelContainerConfig.cmake.in
  ${CMAKE_BINARY_DIR}/VantorelContainerConfig.cmake INSTALL_DESTINATION ${VANTOREL_CMAKEDIR})
# 0.x releases break their interface between minor versions.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VantorelContainerConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VantorelContainerConfig.cmake
  ${CMAKE_BINARY_DIR}/VantorelContainerConfigVersion.cmake DESTINATION ${VANTOREL_CMAKEDIR})

# The files find their prefix from where they lie, so that a tree installed
# with --prefix, or moved, still works.
file(RELATIVE_PATH VANTOREL_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" VANTOREL_PC_TO_PREFIX "${VANTOREL_PC_TO_PREFIX}")
foreach(library container-abstract container-mkv)
  configure_file(cmake/vantorel-${library}.pc.in ${CMAKE_BINARY_DIR}/vantorel-${library}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/vantorel-${library}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

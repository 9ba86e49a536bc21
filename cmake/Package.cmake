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

# The Debian package: `cpack -G DEB` in the build tree makes
# vantorel-inspect_VERSION_ARCH.deb with everything `cmake --install` puts in
# place, under /usr, its dependencies found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME vantorel-inspect)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Matroska and WebM inspector and checker, with its container plug-in and SDK")
set(CPACK_PACKAGE_DESCRIPTION
  "vantorel-inspect walks a Matroska or WebM file and prints every EBML element with its offsets, lengths and decoded values, as text, JSON, CSV or an HTML report, and checks files against today's Matroska. The package also holds the container plug-in, the host base library, their headers, a CMake package and pkg-config files.")
set(CPACK_PACKAGE_CONTACT "vantorel developers <developers@vantorel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Building a host against the headers needs Qt's own.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-base-dev, cmake, pkg-config")
# Let dpkg-shlibdeps find the package's own libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
include(CPack)

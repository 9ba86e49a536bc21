# SPDX-License-Identifier: MIT
# What `cmake --install` gives a host developer beside the libraries and the
# headers: a CMake package, find_package(VantorelContainer 0.2) with the
# targets Vantorel::container-abstract and Vantorel::container-mkv, and
# pkg-config files of the same two libraries.
include(CMakePackageConfigHelpers)
set(VANTOREL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VantorelContainer)

install(EXPORT VantorelContainerTargets NAMESPACE Vantorel::
  FILE VantorelContainerTargets.cmake DESTINATION ${VANTOREL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(cmake/VantorelContainerConfig.cmake.in
  ${CMAKE_BINARY_DIR}/VantorelContainerConfig.cmake INSTALL_DESTINATION ${VANTOREL_CMAKEDIR})
# 0.x releases break their interface between minor versions.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VantorelContainerConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VantorelContainerConfig.cmake
  ${CMAKE_BINARY_DIR}/VantorelContainerConfigVersion.cmake DESTINATION ${VANTOREL_CMAKEDIR}
  COMPONENT dev)

# The files find their prefix from where they lie, so that a tree installed
# with --prefix, or moved, still works.
file(RELATIVE_PATH VANTOREL_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" VANTOREL_PC_TO_PREFIX "${VANTOREL_PC_TO_PREFIX}")
foreach(library container-abstract container-mkv)
  configure_file(cmake/vantorel-${library}.pc.in ${CMAKE_BINARY_DIR}/vantorel-${library}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/vantorel-${library}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# The Debian packages: `cpack -G DEB` in a build tree configured with
# -DCMAKE_INSTALL_PREFIX=/usr (so that the libraries go in the multiarch
# folder and need no run path) makes one package of each component, split as
# Debian splits a library and its tool:
#   libvantorel-container-abstract0  the host base library   (abstract)
#   libvantorel-container-mkv0       the plug-in              (mkv)
#   libvantorel-container-dev        headers, links, CMake and pkg-config (dev)
#   vantorel-inspect                 the program, its man page and completion (inspect)
# .ci/package-check builds such a tree, runs lintian on the packages and
# installs them.
set(VANTOREL_DEB_COMPONENTS abstract mkv dev inspect)
set(VANTOREL_DEB_abstract libvantorel-container-abstract${PROJECT_VERSION_MAJOR})
set(VANTOREL_DEB_mkv libvantorel-container-mkv${PROJECT_VERSION_MAJOR})
set(VANTOREL_DEB_dev libvantorel-container-dev)
set(VANTOREL_DEB_inspect vantorel-inspect)

# The latest entry of the Debian changelog names the version: its upstream
# part must be the project's, and its Debian revision is the packages'.
file(STRINGS cmake/debian/changelog VANTOREL_DEB_HEAD LIMIT_COUNT 1)
if(NOT VANTOREL_DEB_HEAD MATCHES "^vantorel-container-mkv \\(([^)-]+)-([^)]+)\\) ")
  message(FATAL_ERROR "cmake/debian/changelog: no version in its first line: ${VANTOREL_DEB_HEAD}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "cmake/debian/changelog's latest entry is of ${CMAKE_MATCH_1}, "
    "the project is ${PROJECT_VERSION}: add an entry for this version")
endif()
set(VANTOREL_DEB_REVISION ${CMAKE_MATCH_2})

# Each package holds the changelog, compressed, and the machine-readable
# copyright file, written from LICENSE. They are for the packages only: a
# plain `cmake --install` leaves them out.
set(VANTOREL_DEB_DOCS ${CMAKE_BINARY_DIR}/debian)
file(MAKE_DIRECTORY ${VANTOREL_DEB_DOCS})
add_custom_command(OUTPUT ${VANTOREL_DEB_DOCS}/changelog.Debian.gz
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${VANTOREL_DEB_DOCS}/changelog.Debian.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog VERBATIM)
add_custom_target(debian-changelog ALL DEPENDS ${VANTOREL_DEB_DOCS}/changelog.Debian.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE cmake/debian/changelog)
file(READ LICENSE VANTOREL_LICENSE)
if(NOT VANTOREL_LICENSE MATCHES "\nCopyright \\(c\\) ([^\n]*)\n+(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE: no \"Copyright (c) ...\" line before the licence's text")
endif()
set(VANTOREL_COPYRIGHT "${CMAKE_MATCH_1}")
set(VANTOREL_LICENSE_TEXT "${CMAKE_MATCH_2}")
# Continuation lines start with a space; an empty line is a " .".
string(REGEX REPLACE "\n\n" "\n.\n" VANTOREL_LICENSE_TEXT "${VANTOREL_LICENSE_TEXT}")
string(REGEX REPLACE "\n" "\n " VANTOREL_LICENSE_TEXT " ${VANTOREL_LICENSE_TEXT}")
configure_file(cmake/debian/copyright.in ${VANTOREL_DEB_DOCS}/copyright @ONLY)
foreach(component IN LISTS VANTOREL_DEB_COMPONENTS)
  install(FILES ${VANTOREL_DEB_DOCS}/copyright ${VANTOREL_DEB_DOCS}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${VANTOREL_DEB_${component}}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# Packages of a tree configured for another prefix would put the libraries
# in the wrong folder, with a run path: cpack refuses them.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(CPACK_PROJECT_CONFIG_FILE ${VANTOREL_DEB_DOCS}/refuse-prefix.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "message(FATAL_ERROR \"The Debian packages are made in a \"
    \"tree configured with -DCMAKE_INSTALL_PREFIX=/usr, not ${CMAKE_INSTALL_PREFIX}: \"
    \"see .ci/package-check\")\n")
endif()
set(CPACK_PACKAGE_NAME vantorel-container-mkv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "vantorel developers <developers@vantorel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${VANTOREL_DEB_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VANTOREL_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE vantorel-container-mkv)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies on Qt and the C++ runtime from dpkg-shlibdeps; those between
# the packages, on their exact version, from the components' dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# 0.x releases break their interface between minor versions under the same
# soname, so what is built against a library wants its very version.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
foreach(component IN LISTS VANTOREL_DEB_COMPONENTS)
  string(TOUPPER ${component} c)
  set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${VANTOREL_DEB_${component}})
endforeach()

set(CPACK_DEBIAN_ABSTRACT_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_ABSTRACT_DESCRIPTION "host base library for Vantorel container plug-ins
The base class that container plug-ins of the Vantorel media-stream analyser
derive from, the input device it reads through, the sink interface that
nodes, field rows and frames go to, and an in-memory tree sink.")
set(CPACK_DEBIAN_MKV_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_MKV_DEPENDS abstract)
set(CPACK_DEBIAN_MKV_DESCRIPTION "Matroska and WebM container plug-in for Vantorel hosts
Walks a Matroska or WebM file as EBML and reports every element as a tree of
nodes and field rows (offsets, lengths, names and decoded values), and every
block of a video track as the next frame of its stream. It reads element
headers only, never frame data.")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS abstract mkv)
# The headers include Qt's, and the CMake package finds Qt6 Core.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS qt6-base-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "cmake, pkg-config")
set(CPACK_DEBIAN_DEV_DESCRIPTION "development files of the Vantorel container libraries
Headers (included as <vantorel/containerabstract.h>), the unversioned link of
the host base library, the CMake package VantorelContainer and the
pkg-config files vantorel-container-abstract and vantorel-container-mkv, for
building hosts and plug-ins against the host base library and the Matroska
plug-in.")
set(CPACK_DEBIAN_INSPECT_PACKAGE_SECTION video)
# The program links the base library and loads the plug-in at run time,
# which dpkg-shlibdeps cannot see.
set(CPACK_COMPONENT_INSPECT_DEPENDS abstract mkv)
set(CPACK_DEBIAN_INSPECT_DESCRIPTION "Matroska and WebM inspector and checker
vantorel-inspect walks a Matroska or WebM file and prints every EBML element
with its offsets, lengths and decoded values, as text, JSON, CSV or an HTML
report, and checks files against today's Matroska.")

# The libraries' packages: run ldconfig through its trigger rather than in
# maintainer scripts.
foreach(c ABSTRACT MKV)
  set(CPACK_DEBIAN_${c}_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
endforeach()
include(CPack)

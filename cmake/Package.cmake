# `make package`: a Debian package of the program with its airports, desktop entry, icon,
# AppStream metainfo and manual page (the install component "program"; the simulators stay
# out), plus what only the package carries (component "deb": copyright, changelog, lintian
# overrides). Its dependencies on the Qt and X11 runtime libraries are read from the
# program's own linking.
include(GNUInstallDirs)
set(QUADRANTEL_MAINTAINER "Quadrantel Maintainers <maintainers@quadrantel.org>"
    CACHE STRING "The package's maintainer, name and address")
set(QUADRANTEL_HOMEPAGE "https://quadrantel.org" CACHE STRING "The project's home page")

# The changelog's newest entry is the release: its version must be the project's, and its
# date goes into the AppStream metainfo.
set(changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} entry LIMIT_COUNT 1)
file(STRINGS ${changelog} trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT entry MATCHES "^quadrantel \\(${PROJECT_VERSION}\\) "
   OR NOT trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: the newest entry must be version ${PROJECT_VERSION}, with a date")
endif()
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
string(LENGTH ${month} digits)
if(digits EQUAL 1)
  set(month 0${month})
endif()
set(QUADRANTEL_RELEASE_DATE ${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1})

set(QUADRANTEL_METAINFO ${CMAKE_BINARY_DIR}/share/org.quadrantel.Quadrantel.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/data/org.quadrantel.Quadrantel.metainfo.xml.in ${QUADRANTEL_METAINFO} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/quadrantel.1.in ${CMAKE_BINARY_DIR}/share/quadrantel.1 @ONLY)
# Debian wants manual pages and changelogs compressed, reproducibly (no name, no time stamp).
set(debian_docs ${CMAKE_BINARY_DIR}/share/quadrantel.1.gz ${CMAKE_BINARY_DIR}/share/changelog.gz)
add_custom_command(
  OUTPUT ${debian_docs}
  COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/share/quadrantel.1 > ${CMAKE_BINARY_DIR}/share/quadrantel.1.gz
  COMMAND gzip -9n -c ${changelog} > ${CMAKE_BINARY_DIR}/share/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/share/quadrantel.1 ${changelog}
  COMMENT "Compressing the manual page and the changelog")
add_custom_target(debian_docs ALL DEPENDS ${debian_docs})

install(FILES ${QUADRANTEL_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT program)
install(FILES ${CMAKE_BINARY_DIR}/share/quadrantel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quadrantel
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_BINARY_DIR}/share/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quadrantel
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quadrantel COMPONENT deb EXCLUDE_FROM_ALL)

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE QUADRANTEL_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT QUADRANTEL_DEB_ARCH)
  set(QUADRANTEL_DEB_ARCH amd64)
endif()
set(QUADRANTEL_DEB ${CMAKE_BINARY_DIR}/quadrantel_${PROJECT_VERSION}_${QUADRANTEL_DEB_ARCH}.deb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quadrantel)
set(CPACK_PACKAGE_VENDOR Quadrantel)
set(CPACK_PACKAGE_CONTACT "${QUADRANTEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "radio direction finder for virtual air-traffic controllers")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};program;/;${CMAKE_BINARY_DIR};${PROJECT_NAME};deb;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME quadrantel_${PROJECT_VERSION}_${QUADRANTEL_DEB_ARCH}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QUADRANTEL_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUADRANTEL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "While a pilot talks on the voice channel, shows where the aircraft lies as seen\n"
       "from the controller's ground station: a needle, the bearings QDR and QDM and\n"
       "the distance. It follows the voice client's remote library or event feed and\n"
       "the network's interface program or public data feed.")
include(CPack)

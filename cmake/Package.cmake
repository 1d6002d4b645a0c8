# `make package`: a Debian package of the program with its airports, desktop entry and icon
# (the install component "program"; the simulators stay out). Its dependencies on the Qt and
# X11 runtime libraries are read from the program's own linking.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE QUADRANTEL_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT QUADRANTEL_DEB_ARCH)
  set(QUADRANTEL_DEB_ARCH amd64)
endif()
set(QUADRANTEL_DEB ${CMAKE_BINARY_DIR}/quadrantel_${PROJECT_VERSION}_${QUADRANTEL_DEB_ARCH}.deb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quadrantel)
set(CPACK_PACKAGE_VENDOR Quadrantel)
set(CPACK_PACKAGE_CONTACT "Quadrantel developers <quadrantel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Radio direction finder for virtual air-traffic controllers")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};program;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME quadrantel_${PROJECT_VERSION}_${QUADRANTEL_DEB_ARCH}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QUADRANTEL_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "While a pilot talks on the voice channel, shows where his aircraft lies from the\n controller's ground station: needle, QDR/QDM and distance.")
include(CPack)

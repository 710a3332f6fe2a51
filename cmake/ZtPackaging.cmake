# Manual pages and the Debian packages. The programs' own install rules are
# in their folders; `cpack -G DEB` in a build tree packs what
# `cmake --install` installs there, for the architecture the tree builds for.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/docs/man/ztctl.1 ${PROJECT_SOURCE_DIR}/docs/man/ztFirmwareSim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/ztControlD.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)

set(CPACK_PACKAGE_NAME ztcontrold)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ztControlD developers <ztcontrold@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "command daemon of an action camera, with its client library, tool and simulator")
# The long description, wrapped as dpkg shows it; texts go into CPack's
# configuration as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_DESCRIPTION
    "ztControlD carries out the commands local services send it on the message\n\
queue \"/to_ztCtlD\" and pushes status and settings changes to clients on TCP\n\
port 8081. The package holds the daemon, the client tool ztctl, the firmware\n\
simulator ztFirmwareSim for running the daemon on a PC, and the client library\n\
libztclient with its headers, pkg-config file and CMake package.")
if(TARGET ztcontrol_python)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "\nThe Python package ztcontrol drives the daemon from Python.")
  # Its preset messages import the distribution's protobuf module.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-protobuf")
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Stripped of debug information; the daemon's exported names, which its crash
# reports use, stay in the dynamic symbol table.
set(CPACK_STRIP_FILES ON)
# A cross build packs for its target: dpkg names aarch64 arm64. A native
# build leaves the architecture to dpkg.
if(CMAKE_CROSSCOMPILING)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  else()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
  endif()
endif()
include(CPack)

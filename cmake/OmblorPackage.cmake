# The Debian package (cpack -G DEB, run by scripts/package): the install tree under /usr, with
# dependencies computed by dpkg-shlibdeps from the libraries the programs link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME omblor)
set(CPACK_PACKAGE_VENDOR "The Omblor authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes application images into network-attached modules")
set(CPACK_PACKAGE_DESCRIPTION
    "Omblor writes a new application image (a Motorola S-record file) into\n"
    "network-attached embedded modules over the local network, from a window or\n"
    "unattended from scripts. It finds the modules with a discovery search.\n"
    "\n"
    "The package also holds module-sim, a simulated module for trying the tool\n"
    "without hardware.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OMBLOR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX "${PROJECT_BINARY_DIR}")
include(CPack)

# The Debian package, made by `cpack` in the build tree (scripts/package.sh): everything the
# build installs, under /usr, the programs stripped, the dependencies worked out by
# dpkg-shlibdeps. The version is the project's.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Halvio)
set(CPACK_PACKAGE_CONTACT "${NORVANE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "writes built-in firmware into a device on a serial port")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Norvane writes a firmware image, carried inside the program, into the flash"
    "memory of a device on an RS-232 port. It finds the device on COM1 to COM8 by"
    "itself, shows the device's kind and serial number and the image's version, has"
    "the device erase its flash, streams the image (block-CRC protocol at 115200"
    "baud, or checksum protocol at 9600 baud), waits for the device's confirmation"
    "and reports the outcome in a message box and in its exit status."
    ""
    "Each build carries one image, for one kind of device.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

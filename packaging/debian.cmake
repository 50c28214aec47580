# The Debian binary package, built by `cpack` in the build folder (./build.sh
# package) from the project's install rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelm)
set(CPACK_PACKAGE_VENDOR Vendrakos)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "LAN file sharing and chat client")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_LIST_DIR}/description)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vendrakos <quelm@example.net>")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Depends comes from the libraries the programs link (dpkg-shlibdeps); the
# web engine's helper process and Qt's platform plugins come with those.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# CPack stages the install under DESTDIR with this prefix, so install-time
# code (the systemd unit's path to quelmd) sees /usr.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

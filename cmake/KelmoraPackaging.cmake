# The Debian package, made by `cpack -G DEB` from what `cmake --install` installs. Its version is the project's
# version, the one `kelmora --version` and the About box print.
set(CPACK_PACKAGE_NAME kelmora)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Kelmora developers")
set(CPACK_PACKAGE_CONTACT "The Kelmora developers <support@kelmora.app>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kelmora.app")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "personal time tracker for the desktop")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the library scan cannot see it: without Qt's Wayland plugin the program does not start
# on a Wayland-only desktop.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kelmora keeps a list of named tasks, optionally in categories, and tracks
one task at a time from the notification area: start, stop, switch, roll
back the running span, or edit intervals by hand. It shows totals per day,
week, month, year and all time, keeps a time log, writes HTML reports and
exports the log as HTML or tab-separated text.

kelmora-cli works on the same data from the command line, for scripts and
status bars.")

include(CPack)

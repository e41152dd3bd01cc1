# One Debian package, "trevalo", built with `cpack -G DEB` from a configured
# build: the programs, libMordal with its headers and pkg-config file, the
# language files, the menu entry, icon, metainfo and manual pages, all under
# /usr. The dependencies on the Qt 6 and SQLite libraries come from
# dpkg-shlibdeps, so they match what the binaries link.
set(TREVALO_PACKAGE_MAINTAINER "Trevalo maintainers <maintainers@trevalo.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME trevalo)
set(CPACK_PACKAGE_VENDOR Trevalo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "laboratory balance readings kept as measurement series")
set(CPACK_PACKAGE_DESCRIPTION
    "Pomiar collects weighing results from a laboratory balance (or the percentage\n\
results of a moisture analyser) over RS-232 or TCP and keeps them as a\n\
measurement series with live statistics, acceptance limits, charts, reports\n\
and CSV export. The package also holds balance-sim, a simulated balance, and\n\
libMordal, the communication library, with its headers.")
set(CPACK_PACKAGE_CONTACT ${TREVALO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded at run time, so no link names them: the X11 and Wayland platform
# plugins. Qt's own dialog texts in Polish and the theme folder of the icon
# are welcome.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, hicolor-icon-theme")

set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
include(CPack)

# A Debian package from the install rules: `cpack -G DEB` in the build tree.
# Installed under /usr; the provider library lands in /usr/lib/duskwarden.

set(CPACK_PACKAGE_NAME "duskwarden")
set(CPACK_PACKAGE_VENDOR "Quillmoor")
set(CPACK_PACKAGE_CONTACT "Duskwarden maintainers <duskwarden@quillmoor.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tray utility that keeps the desktop's night light on")
set(CPACK_PACKAGE_DESCRIPTION
    "Duskwarden lives as one icon in the system tray. A left click opens a\n"
    "popover to turn the night light on or off, set its warmth and switch\n"
    "Keep Always On, which turns the night light back on whenever it goes off\n"
    "and starts the program at login. It works with GNOME Night Light, KDE\n"
    "Night Color, wlroots compositors' gamma control and any X11 session\n"
    "through RandR gamma ramps, and takes commands from the command line\n"
    "(duskwarden --enable, --disable, --strength, --status).")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${DUSKWARDEN_BUILD_NUMBER})
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillmoor.invalid/duskwarden")
# Library dependencies come from dpkg-shlibdeps; the Qt plugins are loaded at
# run time (the xcb platform plugin, the SVG icon engine for the tray symbols),
# so no linked library pulls them in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
# The GNOME backend talks to a running GNOME session's own services; none of
# them is needed elsewhere.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-settings-daemon")
# Qt's own texts (OK, Cancel) in the user's language; ours ship in the package.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Without the ldconfig calls CPack adds for the private libraries.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebPostBuild.cmake)

set(CPACK_GENERATOR "DEB")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

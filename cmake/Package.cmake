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
# Library dependencies come from dpkg-shlibdeps; Qt's plugins are loaded at
# run time, so no linked library pulls them in. Qt's SVG image plugin draws
# the symbols at sizes not baked in: the package holding it is asked of this
# release (libqt6svg6 on Debian 12, qt6-svg-plugins from Debian 13 on).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
if(DUSKWARDEN_GUI)
  execute_process(COMMAND dpkg-query -S "*/qt6/plugins/imageformats/libqsvg.so"
                  OUTPUT_VARIABLE dw_svg_holder ERROR_QUIET RESULT_VARIABLE dw_svg_missing)
  string(REGEX MATCH "^[^:,]+" dw_svg_package "${dw_svg_holder}")
  if(dw_svg_missing OR NOT dw_svg_package)
    message(WARNING "No installed Debian package holds Qt's SVG image plugin: the .deb will not depend on it")
  else()
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${dw_svg_package}")
  endif()
endif()
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

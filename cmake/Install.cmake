# Install rules: the program, its night-light provider library, the desktop
# entry, AppStream metadata, icons and man page, plus an `uninstall` target.
#
# The provider goes where the binary looks for it, <bindir>/../lib/duskwarden,
# and not into CMAKE_INSTALL_LIBDIR: on Debian that is lib/<multiarch> under
# /usr, which would break the lookup relative to the executable.

cmake_path(SET dw_provider_install_dir NORMALIZE "${CMAKE_INSTALL_BINDIR}/${DUSKWARDEN_PROVIDER_RELDIR}")
cmake_path(GET dw_provider_install_dir PARENT_PATH dw_provider_parent)
if(dw_provider_parent STREQUAL "" OR dw_provider_install_dir MATCHES "^\\.\\.")
  message(FATAL_ERROR "The provider directory '${dw_provider_install_dir}' lies outside the install prefix")
endif()

set(DW_APP_ID "com.quillmoor.Duskwarden")
set(DW_ICON_DIR "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable")

# duskwarden (src/app) and duskwarden-nightlight-sim (providers/tools) carry
# their own install rules to bin/; the install test checks they stay there.
install(TARGETS duskwarden-nightlight LIBRARY DESTINATION ${dw_provider_install_dir})
# The update check's network part, opened from beside the provider on the first check.
if(TARGET duskwarden-update)
  install(TARGETS duskwarden-update LIBRARY DESTINATION ${dw_provider_install_dir})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/resources/${DW_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/${DW_APP_ID}.svg
        DESTINATION ${DW_ICON_DIR}/apps)

# The software centre's entry; its release is this version. Set the date
# with each version, or pass -DDUSKWARDEN_RELEASE_DATE=YYYY-MM-DD.
if(NOT DEFINED DUSKWARDEN_RELEASE_DATE)
  set(DUSKWARDEN_RELEASE_DATE "2026-12-07")
endif()
configure_file(${PROJECT_SOURCE_DIR}/resources/${DW_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/metainfo/${DW_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/metainfo/${DW_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The tray symbols, for panels that look icons up by name. They are prefixed
# with the application id so that generic names like "shield.fill" cannot
# collide with another package's files in the shared hicolor theme.
file(GLOB dw_symbol_icons CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/icons/*.svg)
foreach(icon ${dw_symbol_icons})
  get_filename_component(icon_name ${icon} NAME)
  install(FILES ${icon} DESTINATION ${DW_ICON_DIR}/status RENAME ${DW_APP_ID}.${icon_name})
endforeach()

# Debian wants man pages compressed; -n keeps the archive reproducible.
find_program(DW_GZIP gzip REQUIRED)
set(dw_man_gz ${PROJECT_BINARY_DIR}/man/duskwarden.1.gz)
add_custom_command(
  OUTPUT ${dw_man_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
  COMMAND ${DW_GZIP} -9nc ${PROJECT_SOURCE_DIR}/resources/duskwarden.1 > ${dw_man_gz}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/duskwarden.1
  COMMENT "Compressing the man page"
  VERBATIM)
add_custom_target(duskwarden-man ALL DEPENDS ${dw_man_gz})
install(FILES ${dw_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# `cmake --build BUILD --target uninstall` removes every file the last
# `cmake --install` of this tree recorded, and the directory the program owns.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND}
          -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -DOWNED_DIRS=${dw_provider_install_dir}
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing the installed files listed in install_manifest.txt"
  VERBATIM)

# Install rules: the program, its night-light provider library and backend modules, the desktop
# entry, AppStream metadata, icons, man pages, licence and changelog, plus an
# `uninstall` target.
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
# Its backend modules, in backends/ beside it, where it looks for them.
install(TARGETS ${dw_backend_modules} LIBRARY DESTINATION ${dw_provider_install_dir}/backends)
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
# AppStream 1.0 names the developer by an id; Debian 12's AppStream 0.16
# knows only the older <developer_name>.
if(DW_DEBIAN_RELEASE STREQUAL "bookworm")
  set(DW_METAINFO_DEVELOPER "<developer_name>Quillmoor</developer_name>")
else()
  set(DW_METAINFO_DEVELOPER "<developer id=\"invalid.quillmoor\">\n    <name>Quillmoor</name>\n  </developer>")
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

# PNG sizes beside the SVG, for panels and menus whose toolkit has no SVG
# loader (GTK without librsvg's pixbuf loader, which Debian only recommends;
# IceWM). Rendered at build time by the symbol baker, through Qt's SVG
# image plugin, which the build already needs.
if(TARGET dw-symbol-baker)
  set(dw_app_pngs "")
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/${DW_APP_ID}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
              $<TARGET_FILE:dw-symbol-baker> --png ${PROJECT_SOURCE_DIR}/resources/${DW_APP_ID}.svg ${size} ${png}
      DEPENDS dw-symbol-baker ${PROJECT_SOURCE_DIR}/resources/${DW_APP_ID}.svg
      VERBATIM)
    list(APPEND dw_app_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(duskwarden-icons ALL DEPENDS ${dw_app_pngs} COMMENT "Rendering the application icon as PNGs")
endif()

# The licence (DEP-5) and a changelog, where Debian wants them.
set(DW_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/duskwarden)
install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright DESTINATION ${DW_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME duskwarden)
execute_process(COMMAND date -u -R -d "${DUSKWARDEN_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE DW_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(DW_PACKAGE_VERSION "${PROJECT_VERSION}-${DUSKWARDEN_BUILD_NUMBER}")
configure_file(${PROJECT_SOURCE_DIR}/resources/changelog.Debian.in ${PROJECT_BINARY_DIR}/doc/changelog.Debian @ONLY)

# Debian wants man pages and changelogs compressed; -n keeps the archive reproducible.
find_program(DW_GZIP gzip REQUIRED)
set(dw_gzipped "")
foreach(page duskwarden duskwarden-nightlight-sim changelog)
  if(page STREQUAL "changelog")
    set(plain ${PROJECT_BINARY_DIR}/doc/changelog.Debian)
    set(gz ${PROJECT_BINARY_DIR}/doc/changelog.Debian.gz)
    set(destination ${DW_DOC_DIR})
  else()
    set(plain ${PROJECT_SOURCE_DIR}/resources/${page}.1)
    set(gz ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
    set(destination ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  add_custom_command(
    OUTPUT ${gz}
    COMMAND ${DW_GZIP} -9nc ${plain} > ${gz}
    DEPENDS ${plain}
    VERBATIM)
  list(APPEND dw_gzipped ${gz})
  install(FILES ${gz} DESTINATION ${destination})
endforeach()
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
add_custom_target(duskwarden-man ALL DEPENDS ${dw_gzipped} COMMENT "Compressing the man pages and the changelog")

# `cmake --build BUILD --target uninstall` removes every file the last
# `cmake --install` of this tree recorded, and the directory the program owns.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND}
          -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -DOWNED_DIRS=${dw_provider_install_dir}/backends$<SEMICOLON>${dw_provider_install_dir}$<SEMICOLON>${DW_DOC_DIR}
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing the installed files listed in install_manifest.txt"
  VERBATIM)

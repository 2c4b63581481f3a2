# The program's translation catalogues: resources/translations/duskwarden_<lang>.ts,
# compiled by Qt's lrelease into share/duskwarden/translations beside bin/ in
# the build tree, and installed to the same place relative to the program.
# scripts/update-translations.sh brings the .ts files up to date with the sources.

find_program(DW_LRELEASE NAMES lrelease lrelease-qt6 HINTS /usr/lib/qt6/bin /usr/lib/qt6/libexec REQUIRED)
file(GLOB dw_ts_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/translations/duskwarden_*.ts)
set(dw_qm_dir ${CMAKE_BINARY_DIR}/share/duskwarden/translations)
set(dw_qm_files "")
foreach(ts ${dw_ts_files})
  get_filename_component(name ${ts} NAME_WE)
  set(qm ${dw_qm_dir}/${name}.qm)
  add_custom_command(
    OUTPUT ${qm}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dw_qm_dir}
    COMMAND ${DW_LRELEASE} -silent ${ts} -qm ${qm}
    DEPENDS ${ts}
    COMMENT "Compiling the ${name} catalogue"
    VERBATIM)
  list(APPEND dw_qm_files ${qm})
endforeach()
add_custom_target(duskwarden-translations ALL DEPENDS ${dw_qm_files})
add_dependencies(duskwarden duskwarden-translations)

cmake_path(SET dw_translations_install_dir NORMALIZE "${CMAKE_INSTALL_BINDIR}/${DUSKWARDEN_TRANSLATIONS_RELDIR}")
install(FILES ${dw_qm_files} DESTINATION ${dw_translations_install_dir})

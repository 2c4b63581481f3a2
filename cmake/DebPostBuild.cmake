# Run by cpack after it has made the .deb (CPACK_POST_BUILD_SCRIPTS).
#
# CPack gives every package with a shared object under /usr/lib/* a postinst
# and a postrm that only run ldconfig. Our libraries are private, in
# /usr/lib/duskwarden, and opened by path: ldconfig has nothing to do for
# them. This takes those two scripts out again, and stops if they ever hold
# anything else.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${deb}.unpacked")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  foreach(script postinst postrm)
    if(NOT EXISTS "${tree}/DEBIAN/${script}")
      continue()
    endif()
    file(READ "${tree}/DEBIAN/${script}" text)
    string(REGEX REPLACE "#!/bin/sh\n|set -e\n|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then\n|\tldconfig\n|fi\n|\n" "" rest "${text}")
    if(NOT rest STREQUAL "")
      message(FATAL_ERROR "${script} in ${deb} does more than run ldconfig:\n${text}")
    endif()
    file(REMOVE "${tree}/DEBIAN/${script}")
  endforeach()
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${tree}" "${deb}" OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()

# cmake -DMANIFEST=install_manifest.txt -DOWNED_DIRS=lib/duskwarden -P Uninstall.cmake
#
# Removes every file listed in MANIFEST, then the directories in OWNED_DIRS
# (paths relative to the prefix, matched against the removed files' folders)
# once they are empty. Shared folders such as share/applications stay.

if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} does not exist (run the install first)")
endif()

file(STRINGS "${MANIFEST}" files)
set(failed "")
set(parents "")
foreach(file IN LISTS files)
  if(IS_SYMLINK "${file}" OR EXISTS "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
    if(IS_SYMLINK "${file}" OR EXISTS "${file}")
      list(APPEND failed "${file}")
    endif()
  else()
    message(STATUS "Already gone: ${file}")
  endif()
  cmake_path(GET file PARENT_PATH parent)
  list(APPEND parents "${parent}")
endforeach()

list(REMOVE_DUPLICATES parents)
# Children before their parents (lib/duskwarden/backends, then lib/duskwarden).
list(SORT parents ORDER DESCENDING)
foreach(parent IN LISTS parents)
  foreach(owned IN LISTS OWNED_DIRS)
    string(LENGTH "/${owned}" owned_length)
    string(LENGTH "${parent}" parent_length)
    if(parent_length LESS owned_length)
      continue()
    endif()
    math(EXPR start "${parent_length} - ${owned_length}")
    string(SUBSTRING "${parent}" ${start} -1 tail)
    if(tail STREQUAL "/${owned}" AND IS_DIRECTORY "${parent}")
      file(GLOB left "${parent}/*" "${parent}/.*")
      if(left STREQUAL "")
        message(STATUS "Removing ${parent}")
        file(REMOVE_RECURSE "${parent}")  # checked empty above
      endif()
    endif()
  endforeach()
endforeach()

if(failed)
  string(REPLACE ";" "\n  " failed "${failed}")
  message(FATAL_ERROR "Could not remove (permissions?):\n  ${failed}")
endif()

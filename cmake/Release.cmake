# The Debian release built on: VERSION_CODENAME of /etc/os-release ("bookworm",
# "trixie"; empty on a system without one). The package's metadata and the
# tests that only one release can host follow it.
set(DW_DEBIAN_RELEASE "")
if(EXISTS /etc/os-release)
  file(STRINGS /etc/os-release dw_codename REGEX "^VERSION_CODENAME=")
  string(REGEX REPLACE "^VERSION_CODENAME=\"?([^\"]*)\"?$" "\\1" DW_DEBIAN_RELEASE "${dw_codename}")
endif()

# GNOME backend: the settings daemon's Night Light (GSettings + D-Bus). Kept in
# dw_provider_gnome for the integration tests; the registration alone goes
# into the provider module.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
dw_provider_part(dw_provider_gnome DIR ${CMAKE_CURRENT_LIST_DIR}
  SOURCES GnomeSchedule.h GnomeSchedule.cpp GnomeBackend.h GnomeBackend.cpp
  DEPS dw_provider_common PkgConfig::GLIB Threads::Threads)
list(APPEND DW_PROVIDER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/GnomeRegistration.cpp)
list(APPEND DW_PROVIDER_LIBS dw_provider_gnome)

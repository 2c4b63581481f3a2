# GNOME backend: the settings daemon's Night Light (GSettings + D-Bus). Kept in
# dw_provider_gnome for the integration tests; the registration alone goes
# into the provider module.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
if(NOT TARGET dw_provider_gnome)
  add_library(dw_provider_gnome STATIC
    ${CMAKE_CURRENT_LIST_DIR}/GnomeSchedule.h ${CMAKE_CURRENT_LIST_DIR}/GnomeSchedule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GnomeBackend.h ${CMAKE_CURRENT_LIST_DIR}/GnomeBackend.cpp)
  target_include_directories(dw_provider_gnome PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(dw_provider_gnome PUBLIC dw_provider_common PkgConfig::GLIB Threads::Threads)
  set_target_properties(dw_provider_gnome PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  dw_warnings(dw_provider_gnome)
endif()
list(APPEND DW_PROVIDER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/GnomeRegistration.cpp)
list(APPEND DW_PROVIDER_LIBS dw_provider_gnome)

# X11 backend: RandR gamma ramps. The backend lives in dw_provider_x11 so the
# integration tests can drive it directly; only the registration is compiled
# into the provider module itself.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
if(NOT TARGET dw_provider_x11)
  add_library(dw_provider_x11 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/XDisplay.h ${CMAKE_CURRENT_LIST_DIR}/XDisplay.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11Gamma.h ${CMAKE_CURRENT_LIST_DIR}/X11Gamma.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11EventWatcher.h ${CMAKE_CURRENT_LIST_DIR}/X11EventWatcher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11Backend.h ${CMAKE_CURRENT_LIST_DIR}/X11Backend.cpp)
  target_include_directories(dw_provider_x11 PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(dw_provider_x11 PUBLIC dw_provider_common PkgConfig::XRANDR Threads::Threads)
  set_target_properties(dw_provider_x11 PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  dw_warnings(dw_provider_x11)
endif()
list(APPEND DW_PROVIDER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/X11Registration.cpp)
list(APPEND DW_PROVIDER_LIBS dw_provider_x11)

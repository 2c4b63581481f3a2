# X11 backend: RandR gamma ramps. The backend lives in dw_provider_x11 so the
# integration tests can drive it directly; only the registration is compiled
# into the provider module itself.
include(${CMAKE_CURRENT_LIST_DIR}/../common/sources.cmake)
dw_provider_part(dw_provider_x11 DIR ${CMAKE_CURRENT_LIST_DIR}
  SOURCES XDisplay.h XDisplay.cpp X11Gamma.h X11Gamma.cpp X11EventWatcher.h X11EventWatcher.cpp
          X11Backend.h X11Backend.cpp
  DEPS dw_provider_common PkgConfig::XRANDR Threads::Threads)
list(APPEND DW_PROVIDER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/X11Registration.cpp)
list(APPEND DW_PROVIDER_LIBS dw_provider_x11)

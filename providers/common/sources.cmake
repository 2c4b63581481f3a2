# Shared by the backends: colour maths (pure, so the unit tests link it
# alone) and the log helpers.
dw_provider_part(dw_provider_common DIR ${CMAKE_CURRENT_LIST_DIR}
  SOURCES ColorTemperature.h ColorTemperature.cpp GammaRamp.h GammaRamp.cpp Log.h Log.cpp
  DEPS dw_provider_headers Threads::Threads)

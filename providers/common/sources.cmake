# Colour maths shared by the backends: pure, so the unit tests link it alone.
dw_provider_part(dw_provider_common DIR ${CMAKE_CURRENT_LIST_DIR}
  SOURCES ColorTemperature.h ColorTemperature.cpp GammaRamp.h GammaRamp.cpp)

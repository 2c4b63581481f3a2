# Shared by the backends, and the callback rule also by the application's
# binding: colour maths (pure, so the unit tests link it alone), the log
# helpers and the callback slot.
dw_provider_part(dw_provider_common DIR ${CMAKE_CURRENT_LIST_DIR}
  SOURCES CallbackSlot.h ColorTemperature.h ColorTemperature.cpp GammaRamp.h GammaRamp.cpp Log.h Log.cpp
  DEPS dw_provider_headers Threads::Threads)

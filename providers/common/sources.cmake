# Colour maths shared by the backends: pure, so the unit tests link it alone.
include_guard(GLOBAL)
add_library(dw_provider_common STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ColorTemperature.h ${CMAKE_CURRENT_LIST_DIR}/ColorTemperature.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GammaRamp.h ${CMAKE_CURRENT_LIST_DIR}/GammaRamp.cpp)
target_include_directories(dw_provider_common PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
# Linked into the provider module, whose symbols stay hidden.
set_target_properties(dw_provider_common PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
dw_warnings(dw_provider_common)

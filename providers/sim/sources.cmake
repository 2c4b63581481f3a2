# The file-backed simulator. Its state format lives in dw_sim_state, shared
# with the duskwarden-nightlight-sim tool and the tests.
if(NOT TARGET dw_sim_state)
  add_library(dw_sim_state STATIC ${CMAKE_CURRENT_LIST_DIR}/SimState.h ${CMAKE_CURRENT_LIST_DIR}/SimState.cpp)
  target_include_directories(dw_sim_state PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  # Linked into the provider module too, whose symbols stay hidden.
  set_target_properties(dw_sim_state PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  dw_warnings(dw_sim_state)
endif()
list(APPEND DW_PROVIDER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimBackend.cpp)
list(APPEND DW_PROVIDER_LIBS dw_sim_state)

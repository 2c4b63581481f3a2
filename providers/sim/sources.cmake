# The file-backed simulator. Its state format lives in dw_sim_state, shared
# with the duskwarden-nightlight-sim tool and the tests.
dw_provider_part(dw_sim_state DIR ${CMAKE_CURRENT_LIST_DIR} SOURCES SimState.h SimState.cpp)
list(APPEND DW_PROVIDER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimBackend.cpp)
list(APPEND DW_PROVIDER_LIBS dw_sim_state)

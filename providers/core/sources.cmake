# The library's entry point and backend selection.
list(APPEND DW_PROVIDER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Backend.h
  ${CMAKE_CURRENT_LIST_DIR}/Detect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Entry.cpp)

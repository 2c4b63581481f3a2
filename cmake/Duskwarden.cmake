# Shared build settings for the project's own targets.

if(DUSKWARDEN_SANITIZE STREQUAL "address")
  set(DW_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
elseif(DUSKWARDEN_SANITIZE STREQUAL "thread")
  set(DW_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT DUSKWARDEN_SANITIZE STREQUAL "")
  message(FATAL_ERROR "DUSKWARDEN_SANITIZE must be '', 'address' or 'thread'")
endif()
if(DW_SAN_FLAGS)
  add_compile_options(${DW_SAN_FLAGS})
  add_link_options(${DW_SAN_FLAGS})
endif()

# Optimised builds are laid out for a small resident set (bench/profile.py):
# each function and datum in a section of its own, so the linker drops the
# unused ones; calls into shared libraries through the GOT, so there is no
# PLT whose pages a start-up would map; and, with lld, the functions the
# start-up runs placed first (dw_startup_layout).
set(DW_LAYOUT_BUILD_TYPES Release RelWithDebInfo MinSizeRel)
if(CMAKE_BUILD_TYPE IN_LIST DW_LAYOUT_BUILD_TYPES AND NOT DW_SAN_FLAGS)
  add_compile_options(-ffunction-sections -fdata-sections -fno-plt)
  add_link_options(LINKER:--gc-sections)
  include(CheckLinkerFlag)
  check_linker_flag(CXX -fuse-ld=lld DW_HAVE_LLD)
endif()

# dw_startup_layout(target): links `target` with lld, in the order of
# cmake/startup-order.txt (written by bench/startup_order.py): what the
# start-up runs first, then what the popover's first open adds. Without lld
# the order is the default one, which works the same but maps more pages.
function(dw_startup_layout target)
  if(NOT DW_HAVE_LLD)
    return()
  endif()
  set(order ${PROJECT_SOURCE_DIR}/cmake/startup-order.txt)
  target_link_options(${target} PRIVATE -fuse-ld=lld LINKER:--symbol-ordering-file=${order}
                      LINKER:--no-warn-symbol-ordering)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${order})
endfunction()

# Warnings for our own code only (not for generated moc/rcc sources); errors
# with DUSKWARDEN_WERROR.
if(DUSKWARDEN_WERROR)
  set(DW_WERROR -Werror)
endif()
function(dw_warnings target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor ${DW_WERROR}>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Wpedantic ${DW_WERROR}>)
endfunction()

# dw_library(name SOURCES ... [DEPS ...]): a static library of one room, with src/ on its include path.
function(dw_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  dw_warnings(${name})
endfunction()

# dw_test(name SOURCES ... DEPS ... [LABELS ...]): one gtest executable, registered with CTest.
# Labels: "unit", "widget" (Qt offscreen), "threaded" (TSan set), "integration", "e2e", "display" (needs X).
function(dw_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} dw_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  dw_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DW_TEST_ARTIFACTS=${CMAKE_BINARY_DIR}/test-artifacts;DW_SOURCE_DIR=${PROJECT_SOURCE_DIR};DW_BUILD_DIR=${CMAKE_BINARY_DIR};${ARG_ENV}")
endfunction()

# dw_release_only(TEST RELEASE): TEST runs only on that Debian release, the
# one whose section of scripts/packages.txt installs what it needs; elsewhere
# CTest lists it as disabled. The release is also one of its labels.
function(dw_release_only test release)
  set_property(TEST ${test} APPEND PROPERTY LABELS ${release})
  if(NOT DW_DEBIAN_RELEASE STREQUAL release)
    set_tests_properties(${test} PROPERTIES DISABLED TRUE)
  endif()
endfunction()

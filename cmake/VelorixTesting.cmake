# Helpers shared by the test folders.
find_package(GTest QUIET)
include(GoogleTest)

# Windows-only code is built with mingw-w64 and its tests run under Wine, where both are found.
find_program(VELORIX_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(VELORIX_WINE64 wine64 HINTS /usr/lib/wine)

set(VELORIX_TEST_ENV
    "QT_QPA_PLATFORM=offscreen"
    "VELORIX_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    "SANE_CONFIG_DIR=${CMAKE_SOURCE_DIR}/data/sane.d:"
    "MAGICK_CONFIGURE_PATH=${CMAKE_SOURCE_DIR}/data/magick"
    # No test leaves pages in the user's cache; the recovery tests name folders of their own.
    "VELORIX_RECOVERY=null"
    # Scanner drivers run in the worker beside the program; test programs live elsewhere.
    "VELORIX_SCAN_WORKER_EXE=${CMAKE_BINARY_DIR}/app/velorix-scan-worker")

# velorix_add_gtest(name SOURCES ... LIBS ... [ENV ...]): a GoogleTest binary, one CTest entry
# per test; ENV holds more `cmake -E env` arguments for it.
function(velorix_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  # gtest_discover_tests splits a list-valued ENVIRONMENT property into separate arguments, so
  # only its first entry would arrive; running each test through `cmake -E env` keeps them all.
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR
               ${CMAKE_COMMAND} -E env ${VELORIX_TEST_ENV} ${ARG_ENV})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# velorix_add_qttest(name SOURCES ... LIBS ...): a Qt Test binary run headless.
function(velorix_add_qttest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${VELORIX_TEST_ENV}")
endfunction()

# velorix_add_corpus_test(name TARGET fuzz-target SOURCES ... LIBS ...): replays
# fuzz/corpus/<fuzz-target>/ through the fuzz target's own source, built like any other test.
function(velorix_add_corpus_test name)
  cmake_parse_arguments(ARG "" "TARGET" "SOURCES;LIBS" ${ARGN})
  velorix_add_gtest(${name} SOURCES ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/${ARG_TARGET}.cpp
                    LIBS ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE VELORIX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()

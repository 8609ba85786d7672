# Test helpers. Every test executable writes a GoogleTest XML report into test-results/,
# which tools/test sums into its closing line.

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

set(KESTRINE_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${KESTRINE_TEST_RESULTS})
set(KESTRINE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(KESTRINE_TOOLS ${CMAKE_SOURCE_DIR}/tools)

if(WIN32)
    # A fresh throwaway prefix once per test run; every Windows test needs it.
    add_test(NAME wine_prefix_setup
             COMMAND ${KESTRINE_TOOLS}/wine-prefix reset ${KESTRINE_WINEPREFIX})
    set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix)
    add_test(NAME wine_prefix_cleanup
             COMMAND ${KESTRINE_TOOLS}/wine-prefix stop ${KESTRINE_WINEPREFIX})
    set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix)
endif()

function(_kestrine_register_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 600)
    endif()
    set(platform native)
    if(WIN32)
        set(platform windows)
    endif()
    set(report ${KESTRINE_TEST_RESULTS}/${platform}-${name}.xml)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        # Wine shows the Linux file system as drive Z:.
        set(report Z:${report})
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "KESTRINE_WINEPREFIX=${KESTRINE_WINEPREFIX};KESTRINE_SOURCE_DIR=${CMAKE_SOURCE_DIR};KESTRINE_BINARY_DIR=${CMAKE_BINARY_DIR}")
    if(WIN32)
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
    endif()
endfunction()

# kestrine_core_test(NAME src... [LIBS lib...] [TIMEOUT s]): a test of the portable core, built and run
# natively (under the sanitizers) and, in the Windows build, under Wine.
function(kestrine_core_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE kestrine_core kestrine_test_support ${ARG_LIBS} GTest::gmock
                                          GTest::gtest_main kestrine_warnings)
    if(NOT WIN32)
        target_link_libraries(${name} PRIVATE kestrine_stand_ins)
    endif()
    _kestrine_register_test(${name} TIMEOUT ${ARG_TIMEOUT})
endfunction()

# kestrine_win_test(NAME src... [LIBS lib...] [TIMEOUT s]): a test of Windows code, run under Wine only.
function(kestrine_win_test name)
    if(NOT WIN32)
        return()
    endif()
    cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
    add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE kestrine_win kestrine_test_support ${ARG_LIBS} GTest::gmock
                                          GTest::gtest_main kestrine_warnings)
    _kestrine_register_test(${name} TIMEOUT ${ARG_TIMEOUT})
endfunction()

# kestrine_native_test(NAME src... [LIBS lib...] [TIMEOUT s]): a test of the portable core that drives
# the native build's twins of the system (the in-memory registry and the stand-ins of tests/support,
# which answer through platform/posix_hooks.h): native only. The engine's tests are such tests;
# Wine keeps the tests of the real platform layer.
function(kestrine_native_test name)
    if(WIN32)
        return()
    endif()
    kestrine_core_test(${name} ${ARGN})
endfunction()

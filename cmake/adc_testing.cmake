# adc_add_test(<name> SOURCES <files...> LIBS <targets...> [QTEST] [LABELS <labels...>]
#              [TIMING <patterns...>] [TIMEOUT <seconds>])
#
# One test executable; each of its tests becomes a ctest entry of its own, so that any one of
# them can be run alone (`ctest -R`, or the executable with the test's name). GoogleTest cases
# are listed with --gtest_list_tests, QtTest functions with -functions; both run on the
# offscreen platform.
#
# Tests whose names match one of the TIMING patterns (`*` for any run of characters, matched
# against "Suite.Case" or the QtTest function) bound CPU or wall time. They get the `timing`
# label, which the sanitizer run leaves out: the sanitizers' own bookkeeping distorts both.
set(ADC_QTEST_DISCOVERY ${CMAKE_CURRENT_LIST_DIR}/adc_qtest_tests.cmake)
set(ADC_CLI_CHECK ${CMAKE_CURRENT_LIST_DIR}/adc_cli_check.cmake)

# adc_add_cli_test(<name> <target> EXIT <status> OUTPUT <regex> ARGS <arguments...>)
#
# Runs the program <target> with ARGS and no display, and checks its exit status and that its
# output matches OUTPUT.
function(adc_add_cli_test name target)
    cmake_parse_arguments(ARG "" "EXIT;OUTPUT" "ARGS" ${ARGN})
    list(JOIN ARG_ARGS "|" arguments)
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} "-DPROGRAM=$<TARGET_FILE:${target}>"
        "-DARGS=${arguments}" -DEXIT=${ARG_EXIT} "-DOUTPUT=${ARG_OUTPUT}" -P ${ADC_CLI_CHECK})
    set_tests_properties(${name} PROPERTIES LABELS cli)
endfunction()

function(adc_add_test name)
    cmake_parse_arguments(ARG "QTEST" "TIMEOUT" "SOURCES;LIBS;LABELS;TIMING" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()

    if(ARG_QTEST)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        set(regexes "")
        foreach(pattern IN LISTS ARG_TIMING)
            string(REPLACE "*" ".*" regex "${pattern}")
            list(APPEND regexes "^${regex}$")
        endforeach()
        set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_qtests.cmake)
        file(GENERATE OUTPUT ${include_file} CONTENT
"set(ADC_CMAKE [==[${CMAKE_COMMAND}]==])
set(ADC_QTEST_NAME [==[${name}]==])
set(ADC_QTEST_EXE [==[$<TARGET_FILE:${name}>]==])
set(ADC_QTEST_TIMEOUT ${ARG_TIMEOUT})
set(ADC_QTEST_LABELS [==[${ARG_LABELS}]==])
set(ADC_QTEST_TIMING [==[${regexes}]==])
include([==[${ADC_QTEST_DISCOVERY}]==])
")
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
        return()
    endif()

    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
    set(common DISCOVERY_TIMEOUT 30 PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TIMEOUT ${ARG_TIMEOUT})
    if(ARG_TIMING)
        list(JOIN ARG_TIMING ":" filter)
        gtest_discover_tests(${name} TEST_FILTER "-${filter}" ${common}
            LABELS "${ARG_LABELS}")
        # One label only: a list does not survive the discovery script's quoting.
        gtest_discover_tests(${name} TEST_FILTER "${filter}" ${common} LABELS timing)
    else()
        gtest_discover_tests(${name} ${common} LABELS "${ARG_LABELS}")
    endif()
endfunction()

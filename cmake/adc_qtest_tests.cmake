# Included by ctest: registers every function of one QtTest executable as a test of its own.
# Set before inclusion: ADC_CMAKE, ADC_QTEST_NAME, ADC_QTEST_EXE, ADC_QTEST_TIMEOUT, ADC_QTEST_LABELS and
# ADC_QTEST_TIMING (regular expressions of the functions that bound CPU or time).
if(NOT EXISTS "${ADC_QTEST_EXE}")
    add_test("${ADC_QTEST_NAME}_NOT_BUILT" "${ADC_QTEST_NAME}_NOT_BUILT")
    return()
endif()

# Only the names are wanted: a sanitizer build must not report the listing's own leaks.
execute_process(COMMAND "${ADC_CMAKE}" -E env QT_QPA_PLATFORM=offscreen
        ASAN_OPTIONS=detect_leaks=0 "${ADC_QTEST_EXE}" -functions
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 30)
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" functions "${listing}")
if(NOT status EQUAL 0 OR NOT functions)
    # A listing that fails must fail the run, not shrink it.
    add_test("${ADC_QTEST_NAME}_LISTING_FAILED" "${ADC_QTEST_EXE}" -functions)
    return()
endif()

foreach(function IN LISTS functions)
    string(REPLACE "()" "" function "${function}")
    set(labels ${ADC_QTEST_LABELS})
    foreach(regex IN LISTS ADC_QTEST_TIMING)
        if(function MATCHES "${regex}")
            list(APPEND labels timing)
        endif()
    endforeach()
    set(test "${ADC_QTEST_NAME}.${function}")
    add_test("${test}" "${ADC_QTEST_EXE}" "${function}")
    set_tests_properties("${test}" PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TIMEOUT "${ADC_QTEST_TIMEOUT}" LABELS "${labels}")
endforeach()

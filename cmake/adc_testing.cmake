# adc_add_test(<name> SOURCES <files...> LIBS <targets...> [QTEST] [LABELS <labels...>])
#
# One test executable, registered with ctest. GoogleTest executables are discovered test by
# test; QtTest executables run as one ctest entry on the offscreen platform.
function(adc_add_test name)
    cmake_parse_arguments(ARG "QTEST" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if(ARG_QTEST)
        target_link_libraries(${name} PRIVATE Qt6::Test)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
            TIMEOUT ${ARG_TIMEOUT}
            LABELS "${ARG_LABELS}")
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
        gtest_discover_tests(${name}
            PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${ARG_TIMEOUT}
                       LABELS "${ARG_LABELS}"
            DISCOVERY_TIMEOUT 30)
    endif()
endfunction()

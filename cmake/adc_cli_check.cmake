# Runs one command line of a program and checks how it ends: `cmake -DPROGRAM=<path>
# -DARGS=<arguments, separated by |> -DEXIT=<status> -DOUTPUT=<regex> -P adc_cli_check.cmake`. Standard output and error are
# matched together; the program runs with no display at all.
set(ENV{QT_QPA_PLATFORM} "")
set(ENV{DISPLAY} "")
set(ENV{WAYLAND_DISPLAY} "")
string(REPLACE "|" ";" arguments "${ARGS}")
execute_process(COMMAND "${PROGRAM}" ${arguments} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 20)
if(NOT status STREQUAL EXIT)
    message(FATAL_ERROR "exit status ${status}, expected ${EXIT}\n${out}${err}")
endif()
if(NOT "${out}${err}" MATCHES "${OUTPUT}")
    message(FATAL_ERROR "output does not match '${OUTPUT}':\n${out}${err}")
endif()

# Runs oauthcli under the Wine wrapper and checks its exit code and output.
#   -DWRAPPER=wine-run.sh -DPROGRAM=oauthcli.exe -DARGS="a|b|c" -DEXIT=n
#   [-DOUT=regex] [-DERR=regex] [-DINPUT=file for standard input]
# Arguments are separated by "|" so that they may hold ";" and blanks.
string(REPLACE "|" ";" args "${ARGS}")
set(input_option)
if(DEFINED INPUT)
    set(input_option INPUT_FILE ${INPUT})
endif()
execute_process(COMMAND ${WRAPPER} ${PROGRAM} ${args}
    ${input_option}
    RESULT_VARIABLE exit_code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
if(NOT exit_code STREQUAL "${EXIT}")
    message(FATAL_ERROR "exit code ${exit_code}, expected ${EXIT}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(DEFINED OUT AND NOT out MATCHES "${OUT}")
    message(FATAL_ERROR "stdout does not match \"${OUT}\":\n${out}")
endif()
if(DEFINED ERR AND NOT err MATCHES "${ERR}")
    message(FATAL_ERROR "stderr does not match \"${ERR}\":\n${err}")
endif()

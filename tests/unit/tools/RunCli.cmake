# Runs oauthcli under the Wine wrapper and checks its exit code and output.
#   -DWRAPPER=wine-run.sh -DPROGRAM=oauthcli.exe -DARGS="a|b|c" -DEXIT=n
#   [-DOUT=regex] [-DERR=regex] [-DNOT_ERR=regex] [-DINPUT=file for standard input]
#   [-DOUT_HEX=the exact bytes of stdout, in hex] [-DPORTS=the test server's ports.json]
# Arguments are separated by "|" so that they may hold ";" and blanks; with
# PORTS, @BASE@ in them stands for the server's plain-HTTP address.
if(DEFINED PORTS)
    file(READ ${PORTS} ports)
    string(JSON port GET "${ports}" http)
    string(REPLACE "@BASE@" "http://127.0.0.1:${port}" ARGS "${ARGS}")
endif()
string(REPLACE "|" ";" args "${ARGS}")
set(input_option)
if(DEFINED INPUT)
    set(input_option INPUT_FILE ${INPUT})
endif()
# Bytes are compared through a file: a CMake variable cannot hold a NUL.
set(output_option OUTPUT_VARIABLE out)
if(DEFINED OUT_HEX)
    set(out_file ${CMAKE_CURRENT_BINARY_DIR}/oauthcli-stdout-${EXIT}-${port}.bin)
    set(output_option OUTPUT_FILE ${out_file})
endif()
execute_process(COMMAND ${WRAPPER} ${PROGRAM} ${args}
    ${input_option} ${output_option}
    RESULT_VARIABLE exit_code ERROR_VARIABLE err TIMEOUT 120)
if(DEFINED OUT_HEX)
    file(READ ${out_file} out HEX)
    file(REMOVE ${out_file})
    if(NOT out STREQUAL OUT_HEX)
        message(FATAL_ERROR "stdout bytes differ:\n${out}\nexpected:\n${OUT_HEX}\nstderr:\n${err}")
    endif()
endif()
if(NOT exit_code STREQUAL "${EXIT}")
    message(FATAL_ERROR "exit code ${exit_code}, expected ${EXIT}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(DEFINED OUT AND NOT out MATCHES "${OUT}")
    message(FATAL_ERROR "stdout does not match \"${OUT}\":\n${out}")
endif()
if(DEFINED ERR AND NOT err MATCHES "${ERR}")
    message(FATAL_ERROR "stderr does not match \"${ERR}\":\n${err}")
endif()
if(DEFINED NOT_ERR AND err MATCHES "${NOT_ERR}")
    message(FATAL_ERROR "stderr matches \"${NOT_ERR}\", which it must not:\n${err}")
endif()

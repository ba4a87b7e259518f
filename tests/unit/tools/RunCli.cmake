# Runs oauthcli under the Wine wrapper and checks its exit code and output.
#   -DWRAPPER=wine-run.sh -DPROGRAM=oauthcli.exe -DARGS="a|b|c" -DEXIT=n
#   [-DOUT=regex] [-DERR=regex] [-DNOT_ERR=regex] [-DINPUT=file for standard input]
#   [-DOUT_HEX=the exact bytes of stdout, in hex] [-DPORTS=the test server's ports.json]
#   [-DFRESH_TOKEN=1: OAUTH_ACCESS_TOKEN gets a new client_credentials token of
#    test-client first] [-DFIRST="a|b": a command that must succeed before]
#   [-DPOLLS=n: the device grant polled n times, each at least the interval
#    then in force after the one before, as the server saw them]
# Arguments are separated by "|" so that they may hold ";" and blanks; with
# PORTS, @BASE@ in them stands for the server's plain-HTTP address.
if(DEFINED PORTS)
    file(READ ${PORTS} ports)
    string(JSON port GET "${ports}" http)
    string(REPLACE "@BASE@" "http://127.0.0.1:${port}" ARGS "${ARGS}")
endif()
string(REPLACE "|" ";" args "${ARGS}")
if(DEFINED FRESH_TOKEN)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env OAUTH_CLIENT_SECRET=test-secret
        ${WRAPPER} ${PROGRAM} token http://127.0.0.1:${port}/token
        --grant-type client_credentials --client-id test-client --json
        OUTPUT_VARIABLE reply RESULT_VARIABLE exit_code TIMEOUT 60)
    string(JSON token ERROR_VARIABLE problem GET "${reply}" access_token)
    if(problem OR NOT exit_code STREQUAL "0")
        message(FATAL_ERROR "no token to start with:\n${reply}")
    endif()
    set(ENV{OAUTH_ACCESS_TOKEN} ${token})
endif()
if(DEFINED FIRST)
    string(REPLACE "@BASE@" "http://127.0.0.1:${port}" FIRST "${FIRST}")
    string(REPLACE "|" ";" first "${FIRST}")
    execute_process(COMMAND ${WRAPPER} ${PROGRAM} ${first} RESULT_VARIABLE exit_code
        OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
    if(NOT exit_code STREQUAL "0")
        message(FATAL_ERROR "the first command ended with ${exit_code}:\n${out}\n${err}")
    endif()
endif()
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
if(DEFINED POLLS)
    string(REGEX MATCH "enter the code ([A-Z0-9-]+)" matched "${err}")
    set(polls_file ${CMAKE_CURRENT_BINARY_DIR}/oauthcli-polls-${port}-${CMAKE_MATCH_1}.json)
    file(DOWNLOAD "http://127.0.0.1:${port}/device-polls?user_code=${CMAKE_MATCH_1}" ${polls_file})
    file(READ ${polls_file} record)
    file(REMOVE ${polls_file})
    string(JSON count ERROR_VARIABLE problem LENGTH "${record}" polls)
    if(problem OR NOT count EQUAL POLLS)
        message(FATAL_ERROR "${POLLS} polls expected, the server saw:\n${record}")
    endif()
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
        string(JSON gap GET "${record}" polls ${i} gap)
        string(JSON interval GET "${record}" polls ${i} interval)
        # Sleep may end a clock tick early.
        math(EXPR below "${interval} - 1")
        if(gap LESS "${below}.95")
            message(FATAL_ERROR "poll ${i} came ${gap} s after the one before, within the "
                "interval of ${interval} s:\n${record}")
        endif()
    endforeach()
endif()

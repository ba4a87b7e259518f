# The command-line host: its units, and the program's exit codes under Wine.
if(NOT TARGET oauthcli_core)
    return()
endif()

oauth_unit_test(unit_tools tools)
target_link_libraries(unit_tools PRIVATE oauthcli_core)

# oauthcli_exit_test(name EXIT code ARGS a|b [OUT regex] [ERR regex] [INPUT file])
function(oauthcli_exit_test name)
    cmake_parse_arguments(T "" "EXIT;ARGS;OUT;ERR;INPUT" "" ${ARGN})
    set(defines -DWRAPPER=${CMAKE_BINARY_DIR}/wine-run.sh -DPROGRAM=$<TARGET_FILE:oauthcli>
        "-DARGS=${T_ARGS}" -DEXIT=${T_EXIT})
    foreach(key OUT ERR INPUT)
        if(DEFINED T_${key})
            list(APPEND defines "-D${key}=${T_${key}}")
        endif()
    endforeach()
    add_test(NAME oauthcli_${name}
        COMMAND ${CMAKE_COMMAND} ${defines} -P ${CMAKE_CURRENT_SOURCE_DIR}/unit/tools/RunCli.cmake)
    # An empty OAUTH_* variable reads as unset, so the caller's own values
    # cannot change the outcome.
    set_tests_properties(oauthcli_${name} PROPERTIES TIMEOUT 150 ENVIRONMENT
        "WINEDEBUG=-all;LANG=C;OAUTH_CLIENT_SECRET=;OAUTH_PASSWORD=;OAUTH_ACCESS_TOKEN=")
endfunction()

oauthcli_exit_test(help EXIT 0 ARGS "--help" OUT "Exit codes:.*  2  ")
# Each module's own VERSIONINFO, one line each.
oauthcli_exit_test(version EXIT 0 ARGS "--version" OUT "^oauthcli ${PROJECT_VERSION}.OAuth_Dll.dll \
${PROJECT_VERSION}.qzhttpclient190.dll ${PROJECT_VERSION}.QZSHR190.dll ${PROJECT_VERSION}.$")
oauthcli_exit_test(help_get EXIT 0 ARGS "help|get" OUT "oauthcli get:")
oauthcli_exit_test(no_command EXIT 2 ARGS "" ERR "no command given")
oauthcli_exit_test(unknown_command EXIT 2 ARGS "fetch" ERR "unknown command")
oauthcli_exit_test(token_without_grant_type EXIT 2 ARGS "token|http://127.0.0.1:1/token"
    ERR "--grant-type")
oauthcli_exit_test(secret_argument_refused EXIT 2
    ARGS "token|http://127.0.0.1:1/token|--grant-type|client_credentials|--client-secret|s"
    ERR "not accepted")
oauthcli_exit_test(protocol_out_of_range EXIT 2 ARGS "get|http://127.0.0.1:1/|--protocol|4"
    ERR "--protocol")
oauthcli_exit_test(get_without_token EXIT 2 ARGS "get|http://127.0.0.1:1/" ERR "no access token")
oauthcli_exit_test(secret_stdin_empty EXIT 2 INPUT /dev/null
    ARGS "token|http://127.0.0.1:1/token|--grant-type|client_credentials|--secret-stdin"
    ERR "no client secret on standard input")
# Port 1 on loopback has no listener: the library's send result is the
# connect failure, named on stderr.
oauthcli_exit_test(connect_failure EXIT 2 ARGS "get|http://127.0.0.1:1/|--token|t"
    ERR "result 12029: .*ERROR_WINHTTP_CANNOT_CONNECT")
oauthcli_exit_test(client_credentials_without_secret EXIT 2
    ARGS "token|http://127.0.0.1:1/token|--grant-type|client_credentials|--client-id|c"
    ERR "result -1: .*needs --client-id and a client secret")

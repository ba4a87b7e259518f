# The command-line host: its units, and the program's exit codes under Wine.
if(NOT TARGET oauthcli_core)
    return()
endif()

oauth_unit_test(unit_tools tools)
target_link_libraries(unit_tools PRIVATE oauthcli_core)

# oauthcli_exit_test(name EXIT code ARGS a|b [OUT regex] [OUT_HEX hex] [ERR regex]
#                    [NOT_ERR regex] [INPUT file] [SERVER] [ENV NAME=value...])
# SERVER runs it against the test server, whose address @BASE@ stands for.
function(oauthcli_exit_test name)
    cmake_parse_arguments(T "SERVER" "EXIT;ARGS;OUT;OUT_HEX;ERR;NOT_ERR;INPUT" "ENV" ${ARGN})
    set(defines -DWRAPPER=${CMAKE_BINARY_DIR}/wine-run.sh -DPROGRAM=$<TARGET_FILE:oauthcli>
        "-DARGS=${T_ARGS}" -DEXIT=${T_EXIT})
    if(T_SERVER)
        list(APPEND defines -DPORTS=${OAUTH_SERVER_STATE}/ports.json)
    endif()
    foreach(key OUT OUT_HEX ERR NOT_ERR INPUT)
        if(DEFINED T_${key})
            list(APPEND defines "-D${key}=${T_${key}}")
        endif()
    endforeach()
    add_test(NAME oauthcli_${name}
        COMMAND ${CMAKE_COMMAND} ${defines} -P ${CMAKE_CURRENT_SOURCE_DIR}/unit/tools/RunCli.cmake)
    # An empty OAUTH_* variable reads as unset, so the caller's own values
    # cannot change the outcome.
    set_tests_properties(oauthcli_${name} PROPERTIES TIMEOUT 150 ENVIRONMENT
        "WINEDEBUG=-all;LANG=C;OAUTH_CLIENT_SECRET=;OAUTH_PASSWORD=;OAUTH_ACCESS_TOKEN=;\
OAUTH_REFRESH_TOKEN=;QZHTTPCLIENT_TRACE=;${T_ENV}")
    if(T_SERVER)
        set_tests_properties(oauthcli_${name} PROPERTIES FIXTURES_REQUIRED auth_server)
    endif()
endfunction()

oauthcli_exit_test(help EXIT 0 ARGS "--help" OUT "Exit codes:.*  2  usage.*  3  no answer")
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
oauthcli_exit_test(connect_failure EXIT 3 ARGS "get|http://127.0.0.1:1/|--token|t|--json"
    ERR "result 12029: .*ERROR_WINHTTP_CANNOT_CONNECT"
    OUT "^{\"result\": 12029, \"name\": \"ERROR_WINHTTP_CANNOT_CONNECT\", \"text\": \"the request")
oauthcli_exit_test(client_credentials_without_secret EXIT 3
    ARGS "token|http://127.0.0.1:1/token|--grant-type|client_credentials|--client-id|c"
    ERR "needs --client-id and a client secret.*: result -1: ")

# A command line too long for Windows goes through an argument file; this
# URL reaches the library whole and fails only at connecting.
string(REPEAT "a" 40000 long_path)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/oauthcli-long.args "get\nhttp://127.0.0.1:1/${long_path}\n--token\nt\n")
oauthcli_exit_test(argument_file EXIT 3 ARGS "@${CMAKE_CURRENT_BINARY_DIR}/oauthcli-long.args"
    ERR "result 12029")
oauthcli_exit_test(argument_file_missing EXIT 2 ARGS "@${CMAKE_CURRENT_BINARY_DIR}/none.args"
    ERR "cannot open")

# Against the test server. The body reaches stdout byte for byte, the
# status stderr; -i puts the header block first.
# NUL, CR LF, a lone LF and Ctrl-Z: what a text-mode stream would change.
oauthcli_exit_test(get_binary_body SERVER EXIT 0 ARGS "get|@BASE@/bytes?hex=00ff0d0a1a800a|--token|t"
    OUT_HEX "00ff0d0a1a800a" ERR "^Status: 200 OK")
oauthcli_exit_test(get_include SERVER EXIT 0 ARGS "get|@BASE@/text?value=hi|--token|t|-is"
    OUT "^HTTP/1.1 200 OK\r\n.*Content-Type: text/plain\r\n.*\r\n\r\nhi$")
oauthcli_exit_test(post_body SERVER EXIT 0 ARGS "post|@BASE@/echo|-d|{\"a\":1}|-H|X-A: 1|--token|t"
    OUT "\"body_hex\":\"7b2261223a317d\".*\"method\":\"POST\"")
oauthcli_exit_test(get_status_404 SERVER EXIT 1 ARGS "get|@BASE@/status?code=404|--token|t"
    OUT "^status 404$" ERR "Status: 404")
# --json passes every member of the reply (scope, the server's client_auth)
# and adds the library's view.
oauthcli_exit_test(token_json SERVER EXIT 0 ENV OAUTH_CLIENT_SECRET=test-secret
    ARGS "token|@BASE@/token|--grant-type|client_credentials|--client-id|test-client|--json"
    OUT "\"scope\": \"read\", \"client_auth\": \"basic\", \"library\": {\"status\": 200")
# refresh with either client authentication: the server accepts the client
# and its form, and refuses only the unknown refresh token. The trace shows
# the exchange without a secret.
foreach(auth basic form)
    oauthcli_exit_test(refresh_${auth} SERVER EXIT 1
        ENV OAUTH_CLIENT_SECRET=test-secret OAUTH_REFRESH_TOKEN=unknown-refresh-token
        ARGS "refresh|@BASE@/token|--client-id|test-client|--auth|${auth}|-v"
        OUT "Error: +invalid_grant" ERR "> POST .*x-www-form-urlencoded.*< HTTP/1.1 400"
        NOT_ERR "test-secret|unknown-refresh|dGVzdC1jbGllbnQ6")
endforeach()

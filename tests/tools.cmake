# The command-line host: its units, and the program's exit codes under Wine.
if(NOT TARGET oauthcli_core)
    return()
endif()

oauth_unit_test(unit_tools tools)
target_link_libraries(unit_tools PRIVATE oauthcli_core)

# oauthcli_exit_test(name EXIT code ARGS a|b [OUT regex] [OUT_HEX hex] [ERR regex]
#                    [NOT_ERR regex] [INPUT file] [SERVER] [ENV NAME=value...]
#                    [FRESH_TOKEN] [FIRST a|b] [POLLS n] [LOGIN [TAMPER]])
# SERVER runs it against the test server, whose address @BASE@ stands for;
# RunCli.cmake says what FRESH_TOKEN, FIRST and POLLS add. LOGIN runs login
# with --no-browser under the scripted user agent, which follows the
# authorize URL to the redirect (TAMPER: with another state); OUT and ERR
# are then Python expressions.
function(oauthcli_exit_test name)
    cmake_parse_arguments(T "SERVER;FRESH_TOKEN;LOGIN;TAMPER"
        "EXIT;ARGS;OUT;OUT_HEX;ERR;NOT_ERR;INPUT;FIRST;POLLS" "ENV" ${ARGN})
    set(defines -DWRAPPER=${CMAKE_BINARY_DIR}/wine-run.sh -DPROGRAM=$<TARGET_FILE:oauthcli>
        "-DARGS=${T_ARGS}" -DEXIT=${T_EXIT})
    if(T_SERVER OR T_LOGIN)
        set(T_SERVER ON)
        list(APPEND defines -DPORTS=${OAUTH_SERVER_STATE}/ports.json)
    endif()
    if(T_FRESH_TOKEN)
        list(APPEND defines -DFRESH_TOKEN=1)
    endif()
    foreach(key OUT OUT_HEX ERR NOT_ERR INPUT FIRST POLLS)
        if(DEFINED T_${key})
            list(APPEND defines "-D${key}=${T_${key}}")
        endif()
    endforeach()
    if(T_LOGIN)
        string(REPLACE "|" ";" args "login|${T_ARGS}|--no-browser")
        set(agent --ports ${OAUTH_SERVER_STATE}/ports.json --timeout 100 --expect-exit ${T_EXIT})
        if(T_TAMPER)
            list(APPEND agent --tamper-state)
        endif()
        if(DEFINED T_OUT)
            list(APPEND agent --expect-stdout "${T_OUT}")
        endif()
        if(DEFINED T_ERR)
            list(APPEND agent --expect-stderr "${T_ERR}")
        endif()
        add_test(NAME oauthcli_${name} COMMAND ${OAUTH_SYSTEM_PYTHON}
            ${CMAKE_CURRENT_SOURCE_DIR}/server/useragent.py ${agent}
            -- ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:oauthcli> ${args})
    else()
        add_test(NAME oauthcli_${name} COMMAND ${CMAKE_COMMAND} ${defines}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/unit/tools/RunCli.cmake)
    endif()
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

# login through the scripted user agent: a public client (client_id in the
# form, no secret) and a confidential one (Basic), a redirect with another
# state refused, and the server's access_denied taken from the redirect.
oauthcli_exit_test(login_public LOGIN EXIT 0
    ARGS "--issuer|@BASE@|--client-id|public-client|--scope|read|--json"
    OUT "\"client_auth\": \"none\".*\"library\": {\"status\": 200")
oauthcli_exit_test(login_confidential LOGIN EXIT 0 ENV OAUTH_CLIENT_SECRET=test-secret
    ARGS "@BASE@/authorize|--token-url|@BASE@/token|--client-id|test-client|--json"
    OUT "\"client_auth\": \"basic\"")
oauthcli_exit_test(login_state_mismatch LOGIN TAMPER EXIT 4
    ARGS "--issuer|@BASE@|--client-id|public-client" ERR "state is not the one this login sent")
# Only a web address goes to the shell, which would run a program or file.
oauthcli_exit_test(login_not_web EXIT 2
    ARGS "login|file:///C:/windows/system32/winver.exe|--token-url|http://127.0.0.1:9/t|--client-id|c|--no-browser|--timeout|1"
    ERR "no http or https URL")
oauthcli_exit_test(login_access_denied LOGIN EXIT 1
    ARGS "--issuer|@BASE@|--client-id|public-client|--scope|read deny"
    ERR "oauthcli: the authorization server answered access_denied")

# device: the server scripts the outcome by scope word, and POLLS checks
# the count of polls and that each came no sooner than the interval then in
# force (one second, six after slow_down).
foreach(case "approved|read|0|Access token: |1" "pending|read pending2|0|Access token: |3"
        "slow_down|read slow|0|Access token: |2" "denied|read deny|1|Error: +access_denied|1"
        "expired|read expire|1|Error: +expired_token|1")
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 name)
    list(GET case 1 scope)
    list(GET case 2 exit)
    list(GET case 3 out)
    list(GET case 4 polls)
    oauthcli_exit_test(device_${name} SERVER EXIT ${exit} POLLS ${polls}
        ARGS "device|--issuer|@BASE@|--client-id|public-client|--scope|${scope}" OUT "${out}")
endforeach()

# --issuer: RFC 8414's path insertion for an issuer with a path; metadata
# for another issuer (here without the final slash) is refused.
oauthcli_exit_test(issuer_with_path SERVER EXIT 0 ENV OAUTH_CLIENT_SECRET=test-secret
    ARGS "token|--issuer|@BASE@/tenant1|--grant-type|client_credentials|--client-id|test-client"
    OUT "Access token: ")
oauthcli_exit_test(issuer_mismatch SERVER EXIT 4 ENV OAUTH_CLIENT_SECRET=test-secret
    ARGS "token|--issuer|@BASE@/|--grant-type|client_credentials|--client-id|test-client"
    ERR "it is for the issuer \"http://127.0.0.1:[0-9]+\", not")

# revoke and introspect of a fresh token: revoked it introspects inactive;
# live, active (form client authentication, --json passes the object).
oauthcli_exit_test(revoke_then_introspect SERVER FRESH_TOKEN EXIT 0
    ENV OAUTH_CLIENT_SECRET=test-secret
    FIRST "revoke|--issuer|@BASE@|--client-id|test-client|--token-type-hint|access_token"
    ARGS "introspect|--issuer|@BASE@|--client-id|test-client" OUT "^{\"active\": false}$")
oauthcli_exit_test(introspect_active SERVER FRESH_TOKEN EXIT 0 ENV OAUTH_CLIENT_SECRET=test-secret
    ARGS "introspect|@BASE@/introspect|--client-id|test-client|--auth|form|--json"
    OUT "^{\"active\": true, .*\"client_id\": \"test-client\"")
# A public client names itself in the form beside the Authorization header
# that the library needs ("None", masked in the trace).
oauthcli_exit_test(revoke_public_client SERVER FRESH_TOKEN EXIT 0
    ARGS "revoke|@BASE@/revoke|--client-id|public-client|-v"
    ERR "> Authorization: .*form token=\\*\\*\\*&client_id=\\*\\*\\*.*Status: 200")

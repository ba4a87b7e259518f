# Tests over real HTTP and TLS: the WinHTTP component on its own, and the
# whole library through its exports, against tests/server/authserver.py.
#
# Set-up steps (ctest fixtures): make the test CA and certificates, trust the
# CA in the build's Wine prefix, start the server on free loopback ports;
# clean-up stops it. The test programs live in bin/, beside OAuth_Dll.dll,
# QZSHR190.dll and the real qzhttpclient190.dll (the fake lives in bin/fake).
set(OAUTH_SYSTEM_PYTHON /usr/bin/python3 CACHE FILEPATH
    "The Python that has Debian's python3-oauthlib, for the test server")
set(OAUTH_SERVER_DIR ${CMAKE_CURRENT_SOURCE_DIR}/server)
set(OAUTH_SERVER_STATE ${CMAKE_BINARY_DIR}/tests/server-state)
set(OAUTH_SERVER_PKI ${CMAKE_BINARY_DIR}/tests/pki)
# Wine maps the Unix root to drive Z:.
set(OAUTH_SERVER_ENV "WINEDEBUG=-all;LANG=C;OAUTH_TEST_SERVER_PORTS=Z:${OAUTH_SERVER_STATE}/ports.json")

# Units of the component that need no server.
oauth_unit_test(unit_qzhttpclient qzhttpclient)
target_link_libraries(unit_qzhttpclient PRIVATE qzhttpclient_core)

add_executable(TrustTestCa ${CMAKE_CURRENT_SOURCE_DIR}/tools/TrustTestCa.cpp)
set_target_properties(TrustTestCa PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/tools)
target_link_libraries(TrustTestCa PRIVATE crypt32)
target_link_options(TrustTestCa PRIVATE -municode)
oauth_static_runtime(TrustTestCa)

add_test(NAME server_pki
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${OAUTH_SERVER_DIR}/fixture.py pki --dir ${OAUTH_SERVER_PKI})
set_tests_properties(server_pki PROPERTIES FIXTURES_SETUP server_pki TIMEOUT 120)

add_test(NAME server_trust_ca COMMAND TrustTestCa Z:${OAUTH_SERVER_PKI}/ca.der)
set_tests_properties(server_trust_ca PROPERTIES FIXTURES_REQUIRED server_pki
    FIXTURES_SETUP server_trust ENVIRONMENT "WINEDEBUG=-all;LANG=C" TIMEOUT 120)

add_test(NAME server_start
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${OAUTH_SERVER_DIR}/fixture.py start
        --dir ${OAUTH_SERVER_STATE} --pki ${OAUTH_SERVER_PKI} --wait 30 --max-seconds 1800)
set_tests_properties(server_start PROPERTIES FIXTURES_REQUIRED server_pki
    FIXTURES_SETUP auth_server TIMEOUT 60)

add_test(NAME server_stop
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${OAUTH_SERVER_DIR}/fixture.py stop --dir ${OAUTH_SERVER_STATE})
set_tests_properties(server_stop PROPERTIES FIXTURES_CLEANUP auth_server TIMEOUT 60)

# A forwarding proxy that also serves auto-config files, for the proxy tests.
set(OAUTH_PROXY_STATE ${CMAKE_BINARY_DIR}/tests/proxy-state)
add_test(NAME proxy_start
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${OAUTH_SERVER_DIR}/proxy.py start
        --dir ${OAUTH_PROXY_STATE} --wait 30 --max-seconds 1800)
set_tests_properties(proxy_start PROPERTIES FIXTURES_SETUP proxy_server TIMEOUT 60)
add_test(NAME proxy_stop
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${OAUTH_SERVER_DIR}/proxy.py stop --dir ${OAUTH_PROXY_STATE})
set_tests_properties(proxy_stop PROPERTIES FIXTURES_CLEANUP proxy_server TIMEOUT 60)

set(OAUTH_E2E_SUPPORT ${CMAKE_CURRENT_SOURCE_DIR}/e2e/support/TestServer.cpp)

# oauth_server_test(name dir): a GoogleTest program from tests/e2e/<dir>/*.cpp
# in bin/, run against the server.
function(oauth_server_test name dir)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/${dir}/*.cpp)
    add_executable(${name} ${sources} ${OAUTH_E2E_SUPPORT})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OAUTH_BIN_DIR})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/support
        ${CMAKE_CURRENT_SOURCE_DIR}/e2e/${dir})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
    oauth_static_runtime(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${OAUTH_SERVER_ENV}" TIMEOUT 300
        FIXTURES_REQUIRED "auth_server;server_trust" WORKING_DIRECTORY ${OAUTH_BIN_DIR})
endfunction()

# The component through its one export; its proxy tests link its code
# directly, to force the fallback of older systems and inject the user's proxy
# configuration (the prefix's own settings are never touched).
oauth_server_test(e2e_httpclient component)
target_include_directories(e2e_httpclient PRIVATE ${PROJECT_SOURCE_DIR}/components/qzhttpclient)
target_link_libraries(e2e_httpclient PRIVATE qzhttpclient_core winhttp oauth_common)
add_dependencies(e2e_httpclient qzhttpclient190)
set_tests_properties(e2e_httpclient PROPERTIES
    ENVIRONMENT "${OAUTH_SERVER_ENV};OAUTH_TEST_PROXY_PORTS=Z:${OAUTH_PROXY_STATE}/ports.json"
    FIXTURES_REQUIRED "auth_server;server_trust;proxy_server")

# The library through its four exports only.
oauth_server_test(e2e_oauth library)
target_include_directories(e2e_oauth PRIVATE ${PROJECT_SOURCE_DIR}/include)
# winhttp only to ask whether the system decompresses; crypt32 for Base64.
target_link_libraries(e2e_oauth PRIVATE winhttp crypt32)
add_dependencies(e2e_oauth OAuth_Dll qzshr190 qzhttpclient190)

# The same program in a host that carries the toolchain's shared runtime
# (tests/CMakeLists.txt).
target_include_directories(e2e_oauth PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
if(OAUTH_SHARED_RUNTIME_PRELOAD)
    add_dependencies(e2e_oauth oauth_shared_runtime)
    add_test(NAME e2e_oauth_shared_libgcc COMMAND e2e_oauth)
    set_tests_properties(e2e_oauth_shared_libgcc PROPERTIES
        ENVIRONMENT "${OAUTH_SERVER_ENV};${OAUTH_SHARED_RUNTIME_PRELOAD}"
        TIMEOUT 300 FIXTURES_REQUIRED "auth_server;server_trust" WORKING_DIRECTORY ${OAUTH_BIN_DIR})
endif()

# Hosts that keep the library in a folder of their own: the program lives in
# bin/loading/app, away from the modules, and lays out the host folders itself.
add_executable(e2e_loading ${CMAKE_CURRENT_SOURCE_DIR}/e2e/loading/LoadingTest.cpp
    ${OAUTH_E2E_SUPPORT})
set_target_properties(e2e_loading PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OAUTH_BIN_DIR}/loading/app)
target_include_directories(e2e_loading PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/support
    ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(e2e_loading PRIVATE GTest::gtest)
oauth_static_runtime(e2e_loading)
add_dependencies(e2e_loading OAuth_Dll qzshr190 qzhttpclient190 qzshr_probe_target)
add_test(NAME e2e_loading COMMAND e2e_loading)
# Wine spells file names in the Unix locale's character set: UTF-8 lets a
# folder name hold any character.
string(REPLACE "LANG=C" "LANG=C.UTF-8" OAUTH_LOADING_ENV "${OAUTH_SERVER_ENV}")
set_tests_properties(e2e_loading PROPERTIES ENVIRONMENT "${OAUTH_LOADING_ENV}" TIMEOUT 300
    FIXTURES_REQUIRED "auth_server;server_trust" WORKING_DIRECTORY ${OAUTH_BIN_DIR}/loading/app)

# Many threads at once in fresh processes, through the library and the real
# component; the program starts itself again for each process.
oauth_server_test(e2e_stress stress)
target_sources(e2e_stress PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/library/LibraryFixture.cpp)
target_include_directories(e2e_stress PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/library ${CMAKE_CURRENT_SOURCE_DIR}/support
    ${PROJECT_SOURCE_DIR}/include)
add_dependencies(e2e_stress OAuth_Dll qzshr190 qzhttpclient190)

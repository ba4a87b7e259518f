# Faulty and hostile servers against the library and the real WinHTTP
# component: tests/server/hostile.py on free loopback ports, started and
# stopped by ctest fixtures. Its certificates come from the test CA that
# tests/e2e.cmake's fixtures make and trust; the good exchanges go to the
# authorisation server those fixtures start.
if(NOT DEFINED OAUTH_SERVER_PKI OR NOT DEFINED OAUTH_E2E_SUPPORT)
    message(FATAL_ERROR "tests/hostile.cmake needs the server fixtures of tests/e2e.cmake")
endif()

set(OAUTH_HOSTILE_STATE ${CMAKE_BINARY_DIR}/tests/hostile-state)

add_test(NAME hostile_server_start
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${OAUTH_SERVER_DIR}/hostile.py start
        --dir ${OAUTH_HOSTILE_STATE} --pki ${OAUTH_SERVER_PKI} --wait 30 --max-seconds 900)
set_tests_properties(hostile_server_start PROPERTIES FIXTURES_REQUIRED server_pki
    FIXTURES_SETUP hostile_server TIMEOUT 120)

add_test(NAME hostile_server_stop
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${OAUTH_SERVER_DIR}/hostile.py stop --dir ${OAUTH_HOSTILE_STATE})
set_tests_properties(hostile_server_stop PROPERTIES FIXTURES_CLEANUP hostile_server TIMEOUT 60)

file(GLOB OAUTH_HOSTILE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/hostile/*.cpp)
add_executable(e2e_hostile ${OAUTH_HOSTILE_SOURCES} ${OAUTH_E2E_SUPPORT}
    ${CMAKE_CURRENT_SOURCE_DIR}/e2e/library/LibraryFixture.cpp)
set_target_properties(e2e_hostile PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OAUTH_BIN_DIR})
target_include_directories(e2e_hostile PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/e2e/support
    ${CMAKE_CURRENT_SOURCE_DIR}/e2e/library ${CMAKE_CURRENT_SOURCE_DIR}/e2e/hostile ${CMAKE_CURRENT_SOURCE_DIR}/support
    ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(e2e_hostile PRIVATE GTest::gtest GTest::gtest_main psapi)
oauth_static_runtime(e2e_hostile)
add_dependencies(e2e_hostile OAuth_Dll qzshr190 qzhttpclient190)

add_test(NAME e2e_hostile COMMAND e2e_hostile)
set_tests_properties(e2e_hostile PROPERTIES
    ENVIRONMENT "${OAUTH_SERVER_ENV};OAUTH_HOSTILE_PORTS=Z:${OAUTH_HOSTILE_STATE}/ports.json"
    FIXTURES_REQUIRED "auth_server;server_trust;hostile_server"
    WORKING_DIRECTORY ${OAUTH_BIN_DIR} TIMEOUT 300)

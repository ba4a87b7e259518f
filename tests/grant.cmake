# Grant flows, resource retriever and OAuth client; the exports and the
# message table (entry).
#
# The programs that exchange with the fake HTTP client live in bin/fake, with
# the fake qzhttpclient190.dll, QZSHR190.dll and OAuth_Dll.dll beside them.
# bin/ itself keeps the real component. bin/nohttp has the shared runtime but
# no HTTP client library at all.
set(OAUTH_FAKE_DIR ${CMAKE_BINARY_DIR}/bin/fake)
set(OAUTH_NOHTTP_DIR ${CMAKE_BINARY_DIR}/bin/nohttp)

add_library(qzhttpclient_fake SHARED
    ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake/FakeQzHttpClient.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake/qzhttpclient190.def)
set_target_properties(qzhttpclient_fake PROPERTIES
    PREFIX "" OUTPUT_NAME qzhttpclient190
    RUNTIME_OUTPUT_DIRECTORY ${OAUTH_FAKE_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/fake)
target_link_libraries(qzhttpclient_fake PRIVATE oauth_common oauth_unwind_tables)
target_link_options(qzhttpclient_fake PRIVATE -Wl,--entry,_FakeHttpEntry@12)
oauth_static_runtime(qzhttpclient_fake)

# Copies modules built elsewhere next to a program of this folder.
function(grant_copy_modules_beside consumer)
    get_target_property(dir ${consumer} RUNTIME_OUTPUT_DIRECTORY)
    oauth_copy_modules_to(${consumer} ${dir} ${ARGN})
endfunction()

# A module whose entry point would record that it ran: the shared runtime's
# probe must answer about it without running it.
add_library(qzshr_probe_target SHARED
    ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake/ProbeTarget.cpp)
set_target_properties(qzshr_probe_target PROPERTIES
    PREFIX "" OUTPUT_NAME probetarget
    RUNTIME_OUTPUT_DIRECTORY ${OAUTH_FAKE_DIR}
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/fake)
oauth_static_runtime(qzshr_probe_target)

set(OAUTH_GRANT_FIXTURES
    ${CMAKE_CURRENT_SOURCE_DIR}/unit/grant/support/FakeHttp.cpp)

oauth_unit_test(unit_grant grant OUTPUT_DIR ${OAUTH_FAKE_DIR}
    EXTRA_SOURCES ${OAUTH_GRANT_FIXTURES})
add_dependencies(unit_grant qzhttpclient_fake qzshr_probe_target)
grant_copy_modules_beside(unit_grant qzshr190 OAuth_Dll)
target_link_libraries(unit_grant PRIVATE psapi)
target_include_directories(unit_grant PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake
    ${CMAKE_CURRENT_SOURCE_DIR}/unit/grant/support)
set_tests_properties(unit_grant PROPERTIES WORKING_DIRECTORY ${OAUTH_FAKE_DIR})

# Every request fails cleanly when the HTTP client library is nowhere to be
# found; run from its own folder so that neither the program's folder nor the
# working folder holds one.
oauth_unit_test(unit_grant_nohttp grant/nohttp OUTPUT_DIR ${OAUTH_NOHTTP_DIR}
    EXTRA_SOURCES ${OAUTH_GRANT_FIXTURES})
grant_copy_modules_beside(unit_grant_nohttp qzshr190)
# The fake in bin/fake is reached only through the host's DLL directory.
add_dependencies(unit_grant_nohttp qzhttpclient_fake)
target_include_directories(unit_grant_nohttp PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake ${CMAKE_CURRENT_SOURCE_DIR}/unit/grant/support)
set_tests_properties(unit_grant_nohttp PROPERTIES WORKING_DIRECTORY ${OAUTH_NOHTTP_DIR})

# The exports and the message table, through the library loaded beside the
# fake HTTP client.
oauth_unit_test(unit_entry entry OUTPUT_DIR ${OAUTH_FAKE_DIR} EXTRA_SOURCES ${OAUTH_GRANT_FIXTURES})
add_dependencies(unit_entry qzhttpclient_fake)
grant_copy_modules_beside(unit_entry qzshr190 OAuth_Dll)
target_link_libraries(unit_entry PRIVATE psapi)
target_include_directories(unit_entry PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake
    ${CMAKE_CURRENT_SOURCE_DIR}/unit/grant/support)
set_tests_properties(unit_entry PROPERTIES WORKING_DIRECTORY ${OAUTH_FAKE_DIR})

# LoadIDString as the very first call into a freshly loaded library.
oauth_unit_test(unit_entry_first_call entry/first_call OUTPUT_DIR ${OAUTH_FAKE_DIR})
grant_copy_modules_beside(unit_entry_first_call qzshr190 OAuth_Dll)
set_tests_properties(unit_entry_first_call PROPERTIES WORKING_DIRECTORY ${OAUTH_FAKE_DIR})

# A host written in plain C drives the library through the vtable slots alone.
add_executable(host_c ${CMAKE_CURRENT_SOURCE_DIR}/host_c/HostTest.c)
set_target_properties(host_c PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${OAUTH_FAKE_DIR}
    C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_include_directories(host_c PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake)
target_link_options(host_c PRIVATE -static -static-libgcc)
add_dependencies(host_c qzhttpclient_fake)
grant_copy_modules_beside(host_c qzshr190 OAuth_Dll)
add_test(NAME host_c COMMAND host_c)
set_tests_properties(host_c PROPERTIES ENVIRONMENT "WINEDEBUG=-all;LANG=C" TIMEOUT 120
    WORKING_DIRECTORY ${OAUTH_FAKE_DIR})

# Robustness: randomized replies and host calls, soaks, and every unit,
# fake-client and randomized program once more under Wine's heap validation.
#
# The programs live in bin/robust with their own copies of the fake
# qzhttpclient190.dll (from grant.cmake), QZSHR190.dll and OAuth_Dll.dll, so
# that they run whichever other test programs were built.
set(ROBUST_DIR ${CMAKE_BINARY_DIR}/bin/robust)
set(ROBUST_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/robustness)
set(ROBUST_FAKE_SUPPORT ${CMAKE_CURRENT_SOURCE_DIR}/unit/grant/support/FakeHttp.cpp)

# robust_program(name SOURCES dirs... [EXTRA files...]): a GoogleTest program
# from every .cpp of the given folders under tests/, with the shared support.
function(robust_program name)
    cmake_parse_arguments(P "" "" "DIRS;EXTRA" ${ARGN})
    set(sources)
    foreach(dir ${P_DIRS})
        file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
        list(APPEND sources ${found})
    endforeach()
    add_executable(${name} ${sources} ${P_EXTRA})
    target_link_libraries(${name} PRIVATE oauth_core GTest::gtest GTest::gtest_main psapi)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
        ${ROBUST_SOURCE}/support
        ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake
        ${CMAKE_CURRENT_SOURCE_DIR}/unit/grant/support)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ROBUST_DIR})
    oauth_static_runtime(${name})
endfunction()

# Copies the modules a program loads next to it.
function(robust_copy_modules consumer)
    oauth_copy_modules_to(${consumer} ${ROBUST_DIR} ${ARGN})
endfunction()

# robust_test(name program [FILTER f] [ENV e...]): one ctest entry running a
# part of a program, so that the parts run side by side.
function(robust_test name program)
    cmake_parse_arguments(T "" "FILTER" "ENV" ${ARGN})
    set(args)
    if(T_FILTER)
        set(args --gtest_filter=${T_FILTER})
    endif()
    add_test(NAME ${name} COMMAND ${program} ${args})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINEDEBUG=-all;LANG=C;${T_ENV}"
        TIMEOUT 600 WORKING_DIRECTORY ${ROBUST_DIR})
endfunction()

# Server side: random and mutated replies into both responses.
robust_program(robust_responses DIRS robustness/responses
    EXTRA ${ROBUST_SOURCE}/support/ReplyGenerator.cpp)
robust_test(robust_token_replies robust_responses FILTER ServedReplies.Token*:ServedReplies.ANull*)
robust_test(robust_resource_replies robust_responses FILTER ServedReplies.Resource*)

# Host side: random calls on both requests, each request then sent through
# the fake HTTP client.
robust_program(robust_requests DIRS robustness/requests
    EXTRA ${ROBUST_SOURCE}/support/RequestModels.cpp ${ROBUST_FAKE_SUPPORT})
robust_copy_modules(robust_requests qzhttpclient_fake qzshr190)
robust_test(robust_token_request_calls robust_requests FILTER HostCalls.Token*)
robust_test(robust_resource_request_calls robust_requests FILTER HostCalls.Resource*)

# Soaks: a hundred thousand token and resource cycles through the exports
# and the fake client, and a thousand loads of the library; private bytes
# after a warm-up must stay within 1 MiB.
robust_program(robust_soak DIRS soak EXTRA ${ROBUST_FAKE_SUPPORT})
robust_copy_modules(robust_soak qzhttpclient_fake qzshr190 OAuth_Dll)
robust_test(soak_token_cycles robust_soak FILTER Soak.Token*)
robust_test(soak_resource_cycles robust_soak FILTER Soak.Resource*)
robust_test(soak_library_loads robust_soak FILTER Soak.Loading*)
# The same loads in a host that carries the toolchain's shared runtime.
target_include_directories(robust_soak PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
if(OAUTH_SHARED_RUNTIME_PRELOAD)
    add_dependencies(robust_soak oauth_shared_runtime)
    robust_test(soak_library_loads_shared_libgcc robust_soak FILTER Soak.Loading*
        ENV ${OAUTH_SHARED_RUNTIME_PRELOAD})
endif()

# Heap validation. heapcheck.sh runs a program with WINEDEBUG=+heap, which in
# Wine 8 validates the whole heap on every heap call with tail and free
# checking on, drops the trace that comes with it, and fails on any heap
# error or warning Wine prints. warn+heap alone only fills block tails and
# freed blocks and reports double frees; nothing looks at the fills unless
# the heap is validated (heapcheck.sh has the details). The canary program
# doubles as the quiet process that keeps the prefix's services running.
set(ROBUST_HEAPCHECK sh ${ROBUST_SOURCE}/heapcheck.sh ${OAUTH_WINEPREFIX}
    $<TARGET_FILE:robust_heap_canary>)

# A program that damages the heap on purpose: the check must flag each kind
# of damage, so that it can never go blind without a test failing.
add_executable(robust_heap_canary ${ROBUST_SOURCE}/canary/HeapCanary.cpp)
set_target_properties(robust_heap_canary PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ROBUST_DIR})
target_compile_options(robust_heap_canary PRIVATE -O0)
oauth_static_runtime(robust_heap_canary)
add_test(NAME heapcheck_canary_clean
    COMMAND ${ROBUST_HEAPCHECK} $<TARGET_FILE:robust_heap_canary> clean)
foreach(damage overrun double-free use-after-free)
    add_test(NAME heapcheck_canary_${damage}
        COMMAND ${ROBUST_HEAPCHECK} $<TARGET_FILE:robust_heap_canary> ${damage})
endforeach()
set_tests_properties(heapcheck_canary_overrun PROPERTIES
    PASS_REGULAR_EXPRESSION "heapcheck: heap error: .*invalid block tail")
set_tests_properties(heapcheck_canary_double-free PROPERTIES
    PASS_REGULAR_EXPRESSION "heapcheck: heap error: .*freed block")
set_tests_properties(heapcheck_canary_use-after-free PROPERTIES
    PASS_REGULAR_EXPRESSION "heapcheck: heap error: .*free block overwritten")
set_tests_properties(heapcheck_canary_clean heapcheck_canary_overrun heapcheck_canary_double-free
    heapcheck_canary_use-after-free PROPERTIES ENVIRONMENT "LANG=C" TIMEOUT 120)

# heapcheck_test(name target dir [LANG l] [ARGS a...] [ENV e...]): the
# target's program once more under heap validation, from its own folder.
function(heapcheck_test name target dir)
    cmake_parse_arguments(H "" "LANG" "ARGS;ENV" ${ARGN})
    if(NOT TARGET ${target})
        return()
    endif()
    set(lang C)
    if(H_LANG)
        set(lang ${H_LANG})
    endif()
    add_test(NAME ${name} COMMAND ${ROBUST_HEAPCHECK} $<TARGET_FILE:${target}> ${H_ARGS})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "LANG=${lang};${H_ENV}" TIMEOUT 600
        WORKING_DIRECTORY ${dir})
endfunction()

# The unit and fake-client programs. Left out: the response program's
# randomized scanner test (100,000 fixed texts take many minutes when every
# heap call validates the heap; the randomized programs below cover the
# scanners through the responses) and the test that keeps memory level over
# a thousand library loads, which a checking heap that delays every free
# cannot keep.
heapcheck_test(heapcheck_unit_text unit_text ${OAUTH_BIN_DIR})
heapcheck_test(heapcheck_unit_request unit_request ${OAUTH_BIN_DIR})
heapcheck_test(heapcheck_unit_request_cp932 unit_request_cp932 ${OAUTH_BIN_DIR} LANG ja_JP.UTF-8)
heapcheck_test(heapcheck_unit_response unit_response ${OAUTH_BIN_DIR}
    ARGS --gtest_filter=-RandomizedParse*)
heapcheck_test(heapcheck_unit_qzhttpclient unit_qzhttpclient ${OAUTH_BIN_DIR})
heapcheck_test(heapcheck_unit_grant unit_grant ${CMAKE_BINARY_DIR}/bin/fake)
heapcheck_test(heapcheck_unit_grant_nohttp unit_grant_nohttp ${CMAKE_BINARY_DIR}/bin/nohttp)
heapcheck_test(heapcheck_unit_entry unit_entry ${CMAKE_BINARY_DIR}/bin/fake
    ARGS --gtest_filter=-Exports.LoadingAndUnloadingAThousandTimesKeepsMemoryLevel)
heapcheck_test(heapcheck_unit_entry_first_call unit_entry_first_call ${CMAKE_BINARY_DIR}/bin/fake)
heapcheck_test(heapcheck_host_c host_c ${CMAKE_BINARY_DIR}/bin/fake)

# The randomized programs, with fewer iterations: validating the whole heap
# on every call costs time in proportion to the heap.
heapcheck_test(heapcheck_robust_responses robust_responses ${ROBUST_DIR}
    ENV OAUTH_TEST_ITERATIONS=3000)
heapcheck_test(heapcheck_robust_requests robust_requests ${ROBUST_DIR}
    ENV OAUTH_TEST_ITERATIONS=20000)

# Secrets: no copy of a secret remains in freed or live heap blocks or in the
# used stack once the library's objects are released. The program lives in
# bin/secrets beside an HTTP client module that keeps no copies itself.
set(ROBUST_SECRETS_DIR ${CMAKE_BINARY_DIR}/bin/secrets)
add_library(robust_quiet_http SHARED ${ROBUST_SOURCE}/secrets/quietfake/QuietHttpClient.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/fakes/qzhttpclient_fake/qzhttpclient190.def)
set_target_properties(robust_quiet_http PROPERTIES PREFIX "" OUTPUT_NAME qzhttpclient190
    RUNTIME_OUTPUT_DIRECTORY ${ROBUST_SECRETS_DIR} ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/secrets)
target_link_libraries(robust_quiet_http PRIVATE oauth_common)
oauth_static_runtime(robust_quiet_http)

robust_program(robust_secrets DIRS robustness/secrets)
set_target_properties(robust_secrets PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ROBUST_SECRETS_DIR})
add_dependencies(robust_secrets robust_quiet_http)
oauth_copy_modules_to(robust_secrets ${ROBUST_SECRETS_DIR} qzshr190)
robust_test(robust_secret_residue robust_secrets)
set_tests_properties(robust_secret_residue PROPERTIES WORKING_DIRECTORY ${ROBUST_SECRETS_DIR})
# The freed blocks that the search's own test looks for are overwritten by
# the checking heap.
heapcheck_test(heapcheck_robust_secrets robust_secrets ${ROBUST_SECRETS_DIR}
    ARGS --gtest_filter=-SecretResidue.TheSearchFinds*)

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

# Copies the modules a program loads next to it once it is built.
function(robust_copy_modules consumer)
    foreach(module ${ARGN})
        add_dependencies(${consumer} ${module})
        add_custom_command(TARGET ${consumer} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${module}> ${ROBUST_DIR}/
            VERBATIM)
    endforeach()
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

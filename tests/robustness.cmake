# Robustness: randomized replies and host calls, soaks, and every unit,
# fake-client and randomized program once more under Wine's heap validation.
#
# The programs live in bin/robust with their own copies of the fake
# qzhttpclient190.dll, QZSHR190.dll and OAuth_Dll.dll, so that they run
# whichever other test programs were built.
set(ROBUST_DIR ${CMAKE_BINARY_DIR}/bin/robust)
set(ROBUST_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/robustness)
set(ROBUST_HEAPCHECK sh ${ROBUST_SOURCE}/heapcheck.sh ${CMAKE_BINARY_DIR}/wine-run.sh)

# robust_program(name dir...): a GoogleTest program from tests/robustness/<dir>
# (and tests/soak for "soak") with the shared support sources.
function(robust_program name)
    set(sources ${ROBUST_SOURCE}/support/ReplyGenerator.cpp)
    foreach(dir ${ARGN})
        file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
        list(APPEND sources ${found})
    endforeach()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE oauth_core GTest::gtest GTest::gtest_main psapi)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
        ${ROBUST_SOURCE}/support)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ROBUST_DIR})
    oauth_static_runtime(${name})
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

robust_program(robust_responses robustness/responses)
robust_test(robust_token_replies robust_responses FILTER ServedReplies.Token*:ServedReplies.ANull*)
robust_test(robust_resource_replies robust_responses FILTER ServedReplies.Resource*)

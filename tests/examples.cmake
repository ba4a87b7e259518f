# The example hosts (examples/) against the test server: host.cpp and host.c
# as the normal build makes them with MinGW, and host.cpp once more in the
# MSVC ABI, compiled with /EHsc as the README tells MSVC users to.
#
# The MSVC-ABI build works like tests/host_msvc.cmake (clang in cl mode,
# lld-link, no SDK), except that the example is ordinary C++ that prints with
# the C runtime: tests/examples/msvc holds a stand-in windows.h and stdio.h
# declaring what it uses, an import library for each of kernel32.dll and
# msvcrt.dll made from a .def, and the startup code the missing C runtime
# would bring. So one example source builds unchanged in both ABIs.
set(example_runner ${OAUTH_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/examples/run_example.py
    --ports ${OAUTH_SERVER_STATE}/ports.json --wine-run ${CMAKE_BINARY_DIR}/wine-run.sh)

foreach(example example_host example_host_c)
    add_test(NAME ${example} COMMAND ${example_runner} $<TARGET_FILE:${example}>)
    set_tests_properties(${example} PROPERTIES TIMEOUT 150 FIXTURES_REQUIRED auth_server)
endforeach()

find_program(OAUTH_CLANG_CL NAMES clang-cl clang-cl-14 clang-14 clang)
find_program(OAUTH_LLD_LINK NAMES lld-link lld-link-14)
if(NOT OAUTH_CLANG_CL OR NOT OAUTH_LLD_LINK OR NOT TARGET OAuth_Dll_msvc_lib)
    return()  # tests/host_msvc.cmake says why
endif()
set(msvc_source ${CMAKE_CURRENT_SOURCE_DIR}/examples/msvc)
set(msvc_build ${CMAKE_BINARY_DIR}/tests/example_msvc)
set(msvc_program ${OAUTH_BIN_DIR}/example_host_msvc.exe)
set(msvc_compile ${OAUTH_CLANG_CL} --driver-mode=cl --target=i686-pc-windows-msvc /nologo /c /O2
    /W4 /WX /GS- /EHsc -Xclang -nostdsysteminc /X -I ${msvc_source} -I ${PROJECT_SOURCE_DIR}/include)
set(msvc_objects ${msvc_build}/host.obj ${msvc_build}/Startup.obj)
set(msvc_libraries ${msvc_build}/kernel32.lib ${msvc_build}/msvcrt.lib ${CMAKE_BINARY_DIR}/lib/OAuth_Dll.lib)
add_custom_command(OUTPUT ${msvc_build}/kernel32.lib ${msvc_build}/msvcrt.lib
    COMMAND ${CMAKE_COMMAND} -E make_directory ${msvc_build}
    COMMAND ${OAUTH_LLVM_DLLTOOL} -m i386 -k -d ${msvc_source}/kernel32.def -l ${msvc_build}/kernel32.lib
    COMMAND ${OAUTH_LLVM_DLLTOOL} -m i386 -d ${msvc_source}/msvcrt.def -l ${msvc_build}/msvcrt.lib
    DEPENDS ${msvc_source}/kernel32.def ${msvc_source}/msvcrt.def
    VERBATIM)
add_custom_command(OUTPUT ${msvc_objects}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${msvc_build}
    COMMAND ${msvc_compile} /Fo${msvc_build}/host.obj -- ${PROJECT_SOURCE_DIR}/examples/host.cpp
    COMMAND ${msvc_compile} /Fo${msvc_build}/Startup.obj -- ${msvc_source}/Startup.cpp
    DEPENDS ${PROJECT_SOURCE_DIR}/examples/host.cpp ${msvc_source}/Startup.cpp
        ${msvc_source}/windows.h ${msvc_source}/stdio.h ${PROJECT_SOURCE_DIR}/include/OAuthClient.h
    VERBATIM)
add_custom_command(OUTPUT ${msvc_program}
    COMMAND ${OAUTH_LLD_LINK} /nologo /safeseh /subsystem:console /entry:mainCRTStartup /nodefaultlib
        /out:${msvc_program} ${msvc_objects} ${msvc_libraries}
    DEPENDS ${msvc_objects} ${msvc_libraries}
    VERBATIM)
add_custom_target(example_host_msvc ALL DEPENDS ${msvc_program})
add_dependencies(example_host_msvc OAuth_Dll_msvc_lib OAuth_Dll qzshr190 qzhttpclient190)

add_test(NAME example_host_msvc COMMAND ${example_runner} ${msvc_program})
set_tests_properties(example_host_msvc PROPERTIES TIMEOUT 150 FIXTURES_REQUIRED auth_server)

# A C++ host in the MSVC ABI (tests/host_msvc): the public header compiled by
# clang in cl mode and linked by lld-link, run against the test server. The
# mingw toolchain cannot build it, so custom commands call the tools.
#
# mingw-w64's headers do not compile in MSVC mode: the host sees only the
# stand-in windows.h beside it (/X drops every system include folder), and
# imports kernel32 through an import library made from the few functions it
# names. It has no runtime (/nodefaultlib, its own mainCRTStartup), hence no
# stack cookies, exceptions, RTTI or thread-safe statics. /safeseh is the
# default for i386; it is spelt out because the point is that OAuth_Dll.lib
# links under it.
find_program(OAUTH_CLANG_CL NAMES clang-cl clang-cl-14 clang-14 clang)
find_program(OAUTH_LLD_LINK NAMES lld-link lld-link-14)
if(NOT OAUTH_CLANG_CL OR NOT OAUTH_LLD_LINK OR NOT TARGET OAuth_Dll_msvc_lib)
    message(WARNING "clang, lld-link or llvm-dlltool not found (scripts/setup installs them): "
        "no MSVC-ABI host test")
    return()
endif()

set(host_source ${CMAKE_CURRENT_SOURCE_DIR}/host_msvc)
set(host_build ${CMAKE_BINARY_DIR}/tests/host_msvc)
set(host_kernel32 ${host_build}/kernel32.lib)
add_custom_command(OUTPUT ${host_kernel32}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${host_build}
    COMMAND ${OAUTH_LLVM_DLLTOOL} -m i386 -k -d ${host_source}/kernel32.def -l ${host_kernel32}
    DEPENDS ${host_source}/kernel32.def
    VERBATIM)

# The driver mode makes a plain clang behave as clang-cl. Paths follow "--"
# because clang-cl reads a leading "/" as an option.
set(host_compile ${OAUTH_CLANG_CL} --driver-mode=cl --target=i686-pc-windows-msvc /nologo /c /O2 /W4 /WX
    /GS- /GR- /EHs-c- /Zc:threadSafeInit- -Xclang -nostdsysteminc /X
    -I ${host_source} -I ${PROJECT_SOURCE_DIR}/include)
set(host_link ${OAUTH_LLD_LINK} /nologo /safeseh /subsystem:console /entry:mainCRTStartup /nodefaultlib)

# The same source twice: exports from GetProcAddress, and linked at load time.
set(host_programs)
foreach(variant getprocaddress loadtime)
    set(object ${host_build}/host_msvc_${variant}.obj)
    set(program ${OAUTH_BIN_DIR}/host_msvc_${variant}.exe)
    set(defines)
    set(libraries ${host_kernel32})
    if(variant STREQUAL "loadtime")
        set(defines /DOAUTH_HOST_LOAD_TIME)
        list(APPEND libraries ${CMAKE_BINARY_DIR}/lib/OAuth_Dll.lib)
    endif()
    add_custom_command(OUTPUT ${object}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${host_build}
        COMMAND ${host_compile} ${defines} /Fo${object} -- ${host_source}/HostMsvc.cpp
        DEPENDS ${host_source}/HostMsvc.cpp ${host_source}/windows.h ${PROJECT_SOURCE_DIR}/include/OAuthClient.h
        VERBATIM)
    add_custom_command(OUTPUT ${program}
        COMMAND ${host_link} /out:${program} ${object} ${libraries}
        DEPENDS ${object} ${libraries}
        VERBATIM)
    list(APPEND host_programs ${program})

    add_test(NAME host_msvc_${variant} COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh ${program})
    # Plain http only, so the server is the one fixture it needs.
    set_tests_properties(host_msvc_${variant} PROPERTIES ENVIRONMENT "${OAUTH_SERVER_ENV}" TIMEOUT 120
        FIXTURES_REQUIRED auth_server WORKING_DIRECTORY ${OAUTH_BIN_DIR})
endforeach()

add_custom_target(host_msvc ALL DEPENDS ${host_programs})
add_dependencies(host_msvc OAuth_Dll_msvc_lib OAuth_Dll qzshr190 qzhttpclient190)

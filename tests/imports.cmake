# Windows 7 SP1 stays a target, and Wine exports functions Windows 7 lacks: every
# function a shipped module imports must be on the reviewed allow-list
# (tests/imports/allowed-imports.txt says how to add one).
#
# CMake finds CMAKE_OBJDUMP from the compiler's prefix (i686-w64-mingw32-); the
# check reads only the built files, so it runs without Wine.
set(OAUTH_SYSTEM_PYTHON /usr/bin/python3 CACHE FILEPATH
    "The Python that has Debian's python3-oauthlib, for the test server")
set(OAUTH_SHIPPED_MODULES $<TARGET_FILE:OAuth_Dll> $<TARGET_FILE:qzshr190>
    $<TARGET_FILE:qzhttpclient190>)
if(TARGET oauthcli)
    list(APPEND OAUTH_SHIPPED_MODULES $<TARGET_FILE:oauthcli>)
endif()
add_test(NAME shipped_imports
    COMMAND ${OAUTH_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/imports/check_imports.py
        --objdump ${CMAKE_OBJDUMP}
        --allow-list ${CMAKE_CURRENT_SOURCE_DIR}/imports/allowed-imports.txt
        ${OAUTH_SHIPPED_MODULES})
set_tests_properties(shipped_imports PROPERTIES TIMEOUT 60)

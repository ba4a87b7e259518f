# Helpers shared by every module of the project.

# Links libgcc, libstdc++ and winpthread statically, so that a shipped module
# imports nothing but Windows system modules.
function(oauth_static_runtime target)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

# Adds a VERSIONINFO resource. type is DLL or APP.
function(oauth_version_resource target filename description type)
    set(OAUTH_FILENAME ${filename})
    set(OAUTH_DESCRIPTION ${description})
    if(type STREQUAL "DLL")
        set(OAUTH_FILETYPE VFT_DLL)
    else()
        set(OAUTH_FILETYPE VFT_APP)
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()

# Copies a built module next to the programs in dir (a folder under the build
# tree), so that the loader finds it there first.
function(oauth_copy_beside target dir)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${dir}/
        VERBATIM)
endfunction()

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

# Keeps copies of modules in dir, beside a program that loads them. The copy
# runs on every build, so a module rebuilt on its own never leaves a stale copy
# behind for a program that did not need relinking.
function(oauth_copy_modules_to consumer dir)
    set(copies)
    foreach(module ${ARGN})
        list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${module}> ${dir}/)
    endforeach()
    add_custom_target(${consumer}_modules
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir} ${copies} VERBATIM)
    add_dependencies(${consumer}_modules ${ARGN})
    add_dependencies(${consumer} ${consumer}_modules)
endfunction()

# Platform files carry a suffix (_posix, _linux, _win) and are picked here, so
# the folders need no #ifdef forests.

# The sources and forms directly inside a folder, with the platform files of
# other systems left out.
function(wizard_platform_sources out_var)
    file(GLOB _sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
    if(WIN32)
        list(FILTER _sources EXCLUDE REGEX "_(posix|linux)\\.cpp$")
    else()
        list(FILTER _sources EXCLUDE REGEX "_win\\.cpp$")
        if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
            list(FILTER _sources EXCLUDE REGEX "_linux\\.cpp$")
        endif()
    endif()
    set(${out_var} ${_sources} PARENT_SCOPE)
endfunction()

# Each source folder is a static library built from its sources and forms,
# less the files whose names match EXCLUDE (a regular expression).
function(wizard_folder_library target)
    cmake_parse_arguments(ARG "" "EXCLUDE" "LIBS" ${ARGN})
    wizard_platform_sources(_sources)
    list(FILTER _sources EXCLUDE REGEX "/main\\.cpp$")
    if(ARG_EXCLUDE)
        list(FILTER _sources EXCLUDE REGEX "${ARG_EXCLUDE}")
    endif()
    add_library(${target} STATIC ${_sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_LIBS})
endfunction()

# Each source folder is a static library built from the sources and forms
# directly inside it. Platform files carry a suffix (_posix, _linux, _win) and
# are picked here, so the folders need no #ifdef forests.
function(wizard_folder_library target)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
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
    list(FILTER _sources EXCLUDE REGEX "/main\\.cpp$")
    set(_has_code FALSE)
    foreach(_s ${_sources})
        if(_s MATCHES "\\.cpp$")
            set(_has_code TRUE)
        endif()
    endforeach()
    if(NOT _has_code)
        # A folder still being laid out: its headers only.
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${target} INTERFACE ${ARG_LIBS})
        return()
    endif()
    add_library(${target} STATIC ${_sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_LIBS})
endfunction()

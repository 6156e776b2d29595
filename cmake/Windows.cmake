# With mingw-w64 at hand, two things for the Windows half. First, the
# bootloader library and the wine test's client are built for Windows in
# windows/ (bin/PICBOOT.dll, bin/picboot-wine-client.exe). Second, every
# source the Windows program is built from is compiled with mingw-w64, for
# syntax and types only, against the Qt headers at hand: a Windows-only file
# that no longer compiles breaks this build, not a technician's. The forms'
# headers come from this build's own uic runs; they are the same on Windows.
find_program(WIZARD_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT WIZARD_MINGW_CXX)
    message(STATUS "mingw-w64 not found: the Windows sources are not checked")
    return()
endif()

include(ExternalProject)
ExternalProject_Add(windows_picboot
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/windows
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS -DPICBOOT_ONLY=ON -DCMAKE_BUILD_TYPE=Release
               -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
set(WIZARD_WINDOWS_BIN ${CMAKE_BINARY_DIR}/windows/bin)

set(_folders app cli device firmware library pages)
set(_sources ${PROJECT_SOURCE_DIR}/app/main.cpp ${PROJECT_SOURCE_DIR}/cli/main.cpp)
foreach(_folder ${_folders})
    file(GLOB _found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${_folder}/*.cpp)
    list(FILTER _found EXCLUDE REGEX "_(posix|linux)\\.cpp$")
    list(APPEND _sources ${_found})
endforeach()
list(REMOVE_DUPLICATES _sources)

get_target_property(_qt_core_includes Qt5::Core INTERFACE_INCLUDE_DIRECTORIES)
set(_flags -fsyntax-only -std=c++17 -Wall -Wextra -Werror -DUNICODE -D_UNICODE "-DWIZARD_VERSION=\"${PROJECT_VERSION}\""
    -I${PROJECT_SOURCE_DIR})
foreach(_qt Core Gui Widgets SerialPort)
    get_target_property(_dirs Qt5::${_qt} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(_dir ${_dirs})
        list(APPEND _flags -isystem ${_dir})
    endforeach()
endforeach()
foreach(_target wizard_app wizard_pages)
    get_target_property(_bin ${_target} BINARY_DIR)
    list(APPEND _flags -I${_bin}/${_target}_autogen/include)
endforeach()

set(_stamps)
foreach(_source ${_sources})
    file(RELATIVE_PATH _rel ${PROJECT_SOURCE_DIR} ${_source})
    set(_stamp ${CMAKE_BINARY_DIR}/windows-check/${_rel}.ok)
    get_filename_component(_stamp_dir ${_stamp} DIRECTORY)
    add_custom_command(OUTPUT ${_stamp}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_stamp_dir}
        COMMAND ${WIZARD_MINGW_CXX} ${_flags} -MD -MF ${_stamp}.d -MT ${_stamp} ${_source}
        COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
        DEPENDS ${_source}
        DEPFILE ${_stamp}.d
        COMMENT "Checking ${_rel} for Windows"
        VERBATIM)
    list(APPEND _stamps ${_stamp})
endforeach()
add_custom_target(windows_sources_check ALL DEPENDS ${_stamps})
add_dependencies(windows_sources_check wizard_app_autogen wizard_pages_autogen)

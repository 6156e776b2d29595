# The Windows half, built on this Linux host with Debian's mingw-w64.
#
# Always: the bootloader library and the wine test's client, in windows/
# (bin/PICBOOT.dll, bin/picboot-wine-client.exe); they need no Qt.
#
# With -DWIZARD_WINDOWS_PROGRAM=ON (tools/quickstart.sh test sets it): the
# whole Windows program, built in windows-program/ with our toolchain file
# against Qt for Windows (WIZARD_WINDOWS_QT: the archive of Qt 5.15.8 for
# mingw-w64, or an unpacked prefix; packaging/windows/build-qt.sh makes one),
# then bundled with every DLL and plugin it loads, packed into an installer
# and a zip (windows-program/packages/).
# Read by the Windows tests: the program's build folder, or why there is none.
set(WIZARD_WINDOWS_PROGRAM_DIR "")
set(WIZARD_WINDOWS_SKIPPED "")
find_program(WIZARD_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT WIZARD_MINGW_CXX)
    set(WIZARD_WINDOWS_SKIPPED "mingw-w64 is not installed (Debian's g++-mingw-w64-x86-64)")
    message(STATUS "Nothing is built for Windows: ${WIZARD_WINDOWS_SKIPPED}")
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

option(WIZARD_WINDOWS_PROGRAM "Build the Windows program, its bundle, installer and zip" OFF)
set(WIZARD_WINDOWS_QT "${PROJECT_SOURCE_DIR}/../shared/windows/qt5.15.8-mingw64-posix.tar.xz" CACHE PATH
    "Qt 5.15 for 64-bit Windows (mingw-w64): its .tar.xz archive or an unpacked prefix")
if(NOT WIZARD_WINDOWS_PROGRAM)
    set(WIZARD_WINDOWS_SKIPPED "configure with -DWIZARD_WINDOWS_PROGRAM=ON (tools/quickstart.sh test does)")
    return()
endif()

set(_qt ${WIZARD_WINDOWS_QT})
if(EXISTS ${_qt} AND NOT IS_DIRECTORY ${_qt})
    # Unpacked once into the build folder, and again when the archive changes.
    set(_unpacked ${CMAKE_BINARY_DIR}/windows-qt)
    file(SHA256 ${_qt} _sum)
    set(_stamp ${_unpacked}/.unpacked-${_sum})
    if(NOT EXISTS ${_stamp})
        message(STATUS "Unpacking Qt for Windows from ${_qt}")
        file(REMOVE_RECURSE ${_unpacked})
        file(MAKE_DIRECTORY ${_unpacked})
        execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${_qt} WORKING_DIRECTORY ${_unpacked}
                        RESULT_VARIABLE _failed)
        if(_failed)
            message(FATAL_ERROR "Could not unpack ${_qt}")
        endif()
        file(TOUCH ${_stamp})
    endif()
    file(GLOB _qt ${_unpacked}/*/lib/cmake/Qt5/Qt5Config.cmake)
    get_filename_component(_qt ${_qt} DIRECTORY)
    get_filename_component(_qt ${_qt}/../../.. ABSOLUTE)
endif()
if(NOT EXISTS ${_qt}/lib/cmake/Qt5/Qt5Config.cmake)
    set(WIZARD_WINDOWS_SKIPPED "no Qt for Windows at ${WIZARD_WINDOWS_QT}: get ../shared/windows beside the "
                               "project, or make it with packaging/windows/build-qt.sh and set WIZARD_WINDOWS_QT")
    message(STATUS "The Windows program is not built: ${WIZARD_WINDOWS_SKIPPED}")
    return()
endif()

# The vendor's code-signing certificate, when there is one: a PKCS#12 file and
# its password, from -D or from the environment variables of the same names,
# and a time-stamp server (RFC 3161) to make the signatures outlive the
# certificate.
foreach(_var WIZARD_SIGN_PFX WIZARD_SIGN_PASSWORD WIZARD_SIGN_TIMESTAMP_URL)
    if(NOT DEFINED ${_var} AND DEFINED ENV{${_var}})
        set(${_var} "$ENV{${_var}}")
    endif()
endforeach()
# The tests check every signature against this CA when it is set (the
# throw-away certificate's, which tools/quickstart.sh test makes).
set(WIZARD_SIGN_VERIFY_CA "" CACHE FILEPATH "CA the Windows tests verify the signatures against")
set(_pfx "")
set(_password "")
if(WIZARD_SIGN_PFX)
    get_filename_component(_pfx "${WIZARD_SIGN_PFX}" ABSOLUTE)
    # The password reaches osslsigncode in a file only this user can read:
    # on a command line every user of the machine would see it, and the
    # Windows build's cache is no place for it either.
    set(_password ${CMAKE_BINARY_DIR}/signing/password)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/signing)
    file(CHMOD ${CMAKE_BINARY_DIR}/signing PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    file(WRITE ${_password} "${WIZARD_SIGN_PASSWORD}")
    file(CHMOD ${_password} PERMISSIONS OWNER_READ OWNER_WRITE)
endif()

ExternalProject_Add(windows_program
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/windows-program
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${_qt}
               -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
               -DWIZARD_SIGN_PFX=${_pfx} -DWIZARD_SIGN_PASSWORD_FILE=${_password}
               -DWIZARD_SIGN_TIMESTAMP_URL=${WIZARD_SIGN_TIMESTAMP_URL}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
set(WIZARD_WINDOWS_PROGRAM_DIR ${CMAKE_BINARY_DIR}/windows-program)

# In the Windows build: each program gets its icon, manifest and version
# resource (PICBOOT.dll its version, in picboot/), and
# the target windows_bundle (part of the default build) makes
#   bundle/BootloaderWizard/   what a technician runs: the two programs,
#                              PICBOOT.dll, and every DLL and plugin they load
#   testbundle/                the same plus wizard-demo.exe, for the wine tests
#   packages/bootloader-wizard-<version>-setup.exe   the installer (with makensis)
#   packages/bootloader-wizard-<version>-windows.zip the bundle for those who cannot install
set(_icon ${PROJECT_SOURCE_DIR}/resources/images/bootloaderwizardapp.ico)
include(${PROJECT_SOURCE_DIR}/cmake/WindowsResources.cmake)
wizard_windows_resources(bootloader-wizard "Assistente de atualização da Central de alarme" PROGRAM)
wizard_windows_resources(bootloader-cli "Atualização da Central de alarme em bancada" PROGRAM)

find_package(Qt5 COMPONENTS Core REQUIRED)
get_target_property(_qtcore Qt5::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(_qtbin ${_qtcore} DIRECTORY)
get_filename_component(_qtplugins ${_qtbin}/../plugins ABSOLUTE)
# The mingw runtime DLLs, wherever this compiler keeps them.
set(_search ${_qtbin})
foreach(_dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll} OUTPUT_VARIABLE _path
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(_dir ${_path} DIRECTORY)
    get_filename_component(_dir ${_dir} ABSOLUTE)
    list(APPEND _search ${_dir})
endforeach()
# The platform plugin, the native look, and the .ico reader for the window icon.
set(_plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll)
find_program(WIZARD_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump)
find_program(WIZARD_STRIP NAMES x86_64-w64-mingw32-strip strip)

# With the vendor's certificate (passed on by the build above, see
# cmake/Windows.cmake) our programs in the bundle, PICBOOT.dll, the installer
# and its uninstaller are signed; without one nothing is, and nothing fails.
set(_sign "")
if(WIZARD_SIGN_PFX)
    find_program(WIZARD_OSSLSIGNCODE osslsigncode)
    if(NOT WIZARD_OSSLSIGNCODE)
        message(FATAL_ERROR "A certificate is given (WIZARD_SIGN_PFX) but osslsigncode is not installed")
    endif()
    if(NOT EXISTS "${WIZARD_SIGN_PFX}")
        message(FATAL_ERROR "No certificate at WIZARD_SIGN_PFX=${WIZARD_SIGN_PFX}")
    endif()
    set(_signing ${CMAKE_BINARY_DIR}/signing)
    set(_sign ${_signing}/sign.cmake)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/sign.cmake.in ${_sign} @ONLY)
    message(STATUS "Signing with ${WIZARD_SIGN_PFX}, time stamps: ${WIZARD_SIGN_TIMESTAMP_URL}")
else()
    message(STATUS "No certificate (WIZARD_SIGN_PFX): the Windows program is not signed")
endif()

# deploy(OUT STAMP target... [SIGNED])
function(_wizard_deploy out stamp)
    cmake_parse_arguments(ARG "SIGNED" "" "" ${ARGN})
    set(_files)
    set(_sign_args "")
    if(ARG_SIGNED AND _sign)
        set(_sign_args -DSIGN=${_sign})
    endif()
    foreach(_target ${ARG_UNPARSED_ARGUMENTS})
        list(APPEND _files $<TARGET_FILE:${_target}>)
    endforeach()
    string(REPLACE ";" "\\;" _files "${_files}")
    string(REPLACE ";" "\\;" _plugin_list "${_plugins}")
    string(REPLACE ";" "\\;" _search_list "${_search}")
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DPROGRAMS=${_files} -DPLUGINS=${_plugin_list}
                -DPLUGIN_DIR=${_qtplugins} -DSEARCH=${_search_list} -DOBJDUMP=${WIZARD_OBJDUMP}
                -DNSIS_LIST=${stamp} -DSTRIP=${WIZARD_STRIP} ${_sign_args}
                -P ${PROJECT_SOURCE_DIR}/packaging/windows/deploy.cmake
        DEPENDS ${ARG_UNPARSED_ARGUMENTS} ${PROJECT_SOURCE_DIR}/packaging/windows/deploy.cmake ${_sign}
                ${WIZARD_SIGN_PFX}
        COMMENT "Bundling ${out}"
        VERBATIM)
endfunction()

set(_bundle ${CMAKE_BINARY_DIR}/bundle/BootloaderWizard)
set(_list ${CMAKE_BINARY_DIR}/bundle/files.nsh)
_wizard_deploy(${_bundle} ${_list} bootloader-wizard bootloader-cli PICBOOT SIGNED)
set(_outputs ${_list})
if(TARGET wizard-demo)
    _wizard_deploy(${CMAKE_BINARY_DIR}/testbundle ${CMAKE_BINARY_DIR}/testbundle.nsh
                   bootloader-wizard bootloader-cli PICBOOT wizard-demo)
    list(APPEND _outputs ${CMAKE_BINARY_DIR}/testbundle.nsh)
endif()

set(_packages ${CMAKE_BINARY_DIR}/packages)
set(_zip ${_packages}/bootloader-wizard-${PROJECT_VERSION}-windows.zip)
add_custom_command(OUTPUT ${_zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_packages}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${_zip} --format=zip BootloaderWizard
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bundle
    DEPENDS ${_list}
    VERBATIM)
list(APPEND _outputs ${_zip})

find_program(WIZARD_MAKENSIS makensis)
if(WIZARD_MAKENSIS)
    set(_setup ${_packages}/bootloader-wizard-${PROJECT_VERSION}-setup.exe)
    # The support number in the uninstall entry is the one the wizard shows.
    set(_contacts ${PROJECT_SOURCE_DIR}/pages/contacts.h)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_contacts})
    file(STRINGS ${_contacts} _telephone REGEX "SupportTelephone\\[\\] *= *\"")
    string(REGEX REPLACE ".*= *\"([^\"]*)\".*" "\\1" _telephone "${_telephone}")
    set(_nsis_args -DVERSION=${PROJECT_VERSION} -DFILES=${_list} -DICON=${_icon}
                   -DHELP_TELEPHONE=${_telephone} -DOUTFILE=${_setup})
    if(_sign)
        # makensis puts the file's path for %1.
        list(APPEND _nsis_args "-DSIGN=${CMAKE_COMMAND} -DFILE=%1 -P ${_sign}")
    endif()
    add_custom_command(OUTPUT ${_setup}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_packages}
        COMMAND ${WIZARD_MAKENSIS} -V2 ${_nsis_args} ${PROJECT_SOURCE_DIR}/packaging/windows/installer.nsi
        DEPENDS ${_list} ${PROJECT_SOURCE_DIR}/packaging/windows/installer.nsi ${_sign} ${WIZARD_SIGN_PFX}
        VERBATIM)
    list(APPEND _outputs ${_setup})
else()
    message(STATUS "makensis not found (Debian's nsis): the Windows installer is not made")
endif()
add_custom_target(windows_bundle ALL DEPENDS ${_outputs})

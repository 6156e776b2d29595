# In the Windows build: each program gets its icon and version resource, and
# the target windows_bundle (part of the default build) makes
#   bundle/BootloaderWizard/   what a technician runs: the two programs,
#                              PICBOOT.dll, and every DLL and plugin they load
#   testbundle/                the same plus wizard-demo.exe, for the wine tests
#   packages/bootloader-wizard-<version>-setup.exe   the installer (with makensis)
#   packages/bootloader-wizard-<version>-windows.zip the bundle for those who cannot install
set(_icon ${PROJECT_SOURCE_DIR}/resources/images/bootloaderwizardapp.ico)
string(REPLACE "." "," WIZARD_VERSION_COMMAS "${PROJECT_VERSION},0")
foreach(_pair "bootloader-wizard|Assistente de atualização da Central de alarme"
              "bootloader-cli|Atualização da Central de alarme em bancada")
    string(REPLACE "|" ";" _pair "${_pair}")
    list(GET _pair 0 WIZARD_PROGRAM)
    list(GET _pair 1 WIZARD_DESCRIPTION)
    set(WIZARD_ICON ${_icon})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${CMAKE_BINARY_DIR}/${WIZARD_PROGRAM}.rc @ONLY)
    target_sources(${WIZARD_PROGRAM} PRIVATE ${CMAKE_BINARY_DIR}/${WIZARD_PROGRAM}.rc)
endforeach()

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
# wine's own copies of Windows' DLLs, where wine is installed: a DLL the
# programs import and we do not carry must be one of them.
set(_system_dlls "")
foreach(_dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows)
    if(EXISTS ${_dir}/kernel32.dll)
        set(_system_dlls ${_dir})
        break()
    endif()
endforeach()

function(_wizard_deploy out stamp)
    set(_files)
    foreach(_target ${ARGN})
        list(APPEND _files $<TARGET_FILE:${_target}>)
    endforeach()
    string(REPLACE ";" "\\;" _files "${_files}")
    string(REPLACE ";" "\\;" _plugin_list "${_plugins}")
    string(REPLACE ";" "\\;" _search_list "${_search}")
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DPROGRAMS=${_files} -DPLUGINS=${_plugin_list}
                -DPLUGIN_DIR=${_qtplugins} -DSEARCH=${_search_list} -DOBJDUMP=${WIZARD_OBJDUMP}
                -DSYSTEM_DLLS=${_system_dlls} -DNSIS_LIST=${stamp} -DSTRIP=${WIZARD_STRIP}
                -P ${PROJECT_SOURCE_DIR}/packaging/windows/deploy.cmake
        DEPENDS ${ARGN} ${PROJECT_SOURCE_DIR}/packaging/windows/deploy.cmake
        COMMENT "Bundling ${out}"
        VERBATIM)
endfunction()

set(_bundle ${CMAKE_BINARY_DIR}/bundle/BootloaderWizard)
set(_list ${CMAKE_BINARY_DIR}/bundle/files.nsh)
_wizard_deploy(${_bundle} ${_list} bootloader-wizard bootloader-cli PICBOOT)
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
    add_custom_command(OUTPUT ${_setup}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_packages}
        COMMAND ${WIZARD_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DFILES=${_list} -DICON=${_icon}
                -DOUTFILE=${_setup} ${PROJECT_SOURCE_DIR}/packaging/windows/installer.nsi
        DEPENDS ${_list} ${PROJECT_SOURCE_DIR}/packaging/windows/installer.nsi
        VERBATIM)
    list(APPEND _outputs ${_setup})
else()
    message(STATUS "makensis not found (Debian's nsis): the Windows installer is not made")
endif()
add_custom_target(windows_bundle ALL DEPENDS ${_outputs})

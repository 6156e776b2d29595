# The Windows resources of a program or DLL of ours: its version information,
# and for a program its icon and manifest (packaging/windows/resources.rc.in).
#   wizard_windows_resources(target "description" [PROGRAM])
include_guard(GLOBAL)

function(wizard_windows_resources target description)
    cmake_parse_arguments(ARG "PROGRAM" "" "" ${ARGN})
    set(_windows ${PROJECT_SOURCE_DIR}/packaging/windows)
    string(REPLACE "." "," WIZARD_VERSION_COMMAS "${PROJECT_VERSION},0")
    set(WIZARD_DESCRIPTION "${description}")
    get_target_property(WIZARD_RC_NAME ${target} OUTPUT_NAME)
    if(NOT WIZARD_RC_NAME)
        set(WIZARD_RC_NAME ${target})
    endif()
    if(ARG_PROGRAM)
        set(WIZARD_RC_FILE ${WIZARD_RC_NAME}.exe)
        set(WIZARD_RC_FILETYPE VFT_APP)
        # 1 and 24: the manifest the loader reads when it creates the process.
        set(_icon ${PROJECT_SOURCE_DIR}/resources/images/bootloaderwizardapp.ico)
        set(WIZARD_RC_PROGRAM "IDI_ICON1 ICON \"${_icon}\"\n1 24 \"${_windows}/program.manifest\"")
        # windres reads them; the build would not see them change. (Set where
        # the target is made, which may be another folder than this one.)
        if(CMAKE_VERSION VERSION_GREATER_EQUAL 3.18)
            set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc TARGET_DIRECTORY ${target}
                         APPEND PROPERTY OBJECT_DEPENDS ${_icon} ${_windows}/program.manifest)
        endif()
    else()
        set(WIZARD_RC_FILE ${WIZARD_RC_NAME}.dll)
        set(WIZARD_RC_FILETYPE VFT_DLL)
        set(WIZARD_RC_PROGRAM "")
    endif()
    configure_file(${_windows}/resources.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()

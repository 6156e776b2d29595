# Makes a folder that runs on a Windows machine with nothing installed:
# the programs, the Qt plugins Qt loads at run time, and every DLL that any
# of them imports, found by walking the PE import tables (windeployqt does
# not run on a Linux host). A DLL found in none of the search folders must be
# one that every 64-bit Windows 10 has in its system folder (the list below).
# With a SIGN script the programs (ours, not Qt's or mingw's) are signed once
# stripped.
#
#   cmake -DOUT=dir -DPROGRAMS="a.exe;PICBOOT.dll" -DPLUGINS="platforms/qwindows.dll;..."
#         -DPLUGIN_DIR=qt/plugins -DSEARCH="qt/bin;mingw/lib" -DOBJDUMP=objdump
#         [-DNSIS_LIST=files.nsh] [-DSTRIP=strip] [-DSIGN=sign.cmake] -P deploy.cmake
cmake_minimum_required(VERSION 3.16)

foreach(_var OUT PROGRAMS PLUGIN_DIR SEARCH OBJDUMP)
    if(NOT DEFINED ${_var})
        message(FATAL_ERROR "deploy.cmake: ${_var} is not set")
    endif()
endforeach()

# What a stock 64-bit Windows 10 has in System32: the KnownDLLs and the API
# DLLs that programs built with mingw-w64 and Qt 5 import. Not wine's system
# folder, which also holds what Windows lacks until it is installed (the
# Visual C++ runtime, for one): a program needing such a DLL would start under
# wine and fail on a technician's clean PC.
set(_windows_dlls
    advapi32 bcrypt cfgmgr32 clbcatq combase comctl32 comdlg32 crypt32 d2d1 d3d9 d3d11 d3d12
    dbghelp dnsapi dwmapi dwrite dxgi gdi32 gdiplus hid imagehlp imm32 iphlpapi kernel32
    kernelbase msctf msimg32 msvcrt ncrypt netapi32 normaliz nsi ntdll ole32 oleacc oleaut32
    opengl32 powrprof propsys psapi rpcrt4 secur32 sechost setupapi shcore shell32 shlwapi
    ucrtbase user32 userenv usp10 uxtheme version winhttp wininet winmm winspool.drv wintrust
    wldap32 ws2_32 wtsapi32 mpr)
list(TRANSFORM _windows_dlls REPLACE "^([^.]+)$" "\\1.dll")

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})

set(_queue)
set(_deployed)
foreach(_program ${PROGRAMS})
    get_filename_component(_name ${_program} NAME)
    file(COPY ${_program} DESTINATION ${OUT})
    list(APPEND _queue ${OUT}/${_name})
    string(TOLOWER ${_name} _lower)
    list(APPEND _deployed ${_lower})
endforeach()
foreach(_plugin ${PLUGINS})
    get_filename_component(_folder ${_plugin} DIRECTORY)
    if(NOT EXISTS ${PLUGIN_DIR}/${_plugin})
        message(FATAL_ERROR "deploy.cmake: the Qt plugin ${_plugin} is not in ${PLUGIN_DIR}")
    endif()
    file(COPY ${PLUGIN_DIR}/${_plugin} DESTINATION ${OUT}/${_folder})
    list(APPEND _queue ${OUT}/${_plugin})
endforeach()

# Every file in the queue is read once; what it imports and we carry joins it.
set(_system)
while(_queue)
    list(POP_FRONT _queue _file)
    execute_process(COMMAND ${OBJDUMP} -p ${_file} OUTPUT_VARIABLE _dump RESULT_VARIABLE _failed)
    if(_failed)
        message(FATAL_ERROR "deploy.cmake: ${OBJDUMP} could not read ${_file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" _imports "${_dump}")
    foreach(_import ${_imports})
        string(REPLACE "DLL Name: " "" _dll "${_import}")
        string(STRIP "${_dll}" _dll)
        string(TOLOWER ${_dll} _lower)
        if(_lower IN_LIST _deployed OR _lower IN_LIST _system)
            continue()
        endif()
        set(_found "")
        foreach(_dir ${SEARCH})
            file(GLOB _candidates ${_dir}/*.dll)
            foreach(_candidate ${_candidates})
                get_filename_component(_candidate_name ${_candidate} NAME)
                string(TOLOWER ${_candidate_name} _candidate_lower)
                if(_candidate_lower STREQUAL _lower)
                    set(_found ${_candidate})
                    break()
                endif()
            endforeach()
            if(_found)
                break()
            endif()
        endforeach()
        if(_found)
            get_filename_component(_name ${_found} NAME)
            file(COPY ${_found} DESTINATION ${OUT})
            list(APPEND _queue ${OUT}/${_name})
            list(APPEND _deployed ${_lower})
        elseif(NOT _lower IN_LIST _windows_dlls)
            get_filename_component(_by ${_file} NAME)
            message(FATAL_ERROR "deploy.cmake: ${_by} imports ${_dll}, which is neither in ${SEARCH} "
                                "nor one that every Windows 10 has")
        else()
            list(APPEND _system ${_lower})
        endif()
    endforeach()
endwhile()

# The mingw runtime comes with its debugging symbols, 20 MB of them.
if(STRIP)
    file(GLOB_RECURSE _binaries ${OUT}/*.dll ${OUT}/*.exe)
    foreach(_binary ${_binaries})
        execute_process(COMMAND ${STRIP} --strip-unneeded ${_binary} RESULT_VARIABLE _failed)
        if(_failed)
            message(FATAL_ERROR "deploy.cmake: ${STRIP} failed on ${_binary}")
        endif()
    endforeach()
endif()

# Signed after stripping, which would break the signature.
if(SIGN)
    foreach(_program ${PROGRAMS})
        get_filename_component(_name ${_program} NAME)
        execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${OUT}/${_name} -P ${SIGN} RESULT_VARIABLE _failed)
        if(_failed)
            message(FATAL_ERROR "deploy.cmake: ${_name} could not be signed")
        endif()
    endforeach()
endif()

# For the installer: one line a file to install, one a file to remove, so
# that the uninstaller removes exactly what was installed.
if(NSIS_LIST)
    file(GLOB_RECURSE _files RELATIVE ${OUT} ${OUT}/*)
    list(SORT _files)
    set(_install "")
    set(_remove "")
    set(_folders "")
    foreach(_file ${_files})
        string(REPLACE "/" "\\" _windows ${_file})
        get_filename_component(_folder ${_file} DIRECTORY)
        set(_target "$INSTDIR")
        if(_folder)
            string(REPLACE "/" "\\" _windows_folder "${_folder}")
            set(_target "$INSTDIR\\${_windows_folder}")
        endif()
        string(APPEND _install "  SetOutPath \"${_target}\"\n  File \"${OUT}/${_file}\"\n")
        string(APPEND _remove "  Delete \"$INSTDIR\\${_windows}\"\n")
        if(_folder AND NOT _folder IN_LIST _folders)
            list(APPEND _folders ${_folder})
        endif()
    endforeach()
    foreach(_folder ${_folders})
        string(REPLACE "/" "\\" _windows_folder "${_folder}")
        string(APPEND _remove "  RMDir \"$INSTDIR\\${_windows_folder}\"\n")
    endforeach()
    file(WRITE ${NSIS_LIST} "!macro InstallBundle\n${_install}  SetOutPath \"$INSTDIR\"\n!macroend\n"
                            "!macro RemoveBundle\n${_remove}!macroend\n")
endif()
list(LENGTH _deployed _count)
message(STATUS "deploy.cmake: ${OUT}: ${_count} files; Windows' own: ${_system}")

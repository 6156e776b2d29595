# The Debian package, made with "cpack -G DEB" in the build folder (or
# tools/make-package.sh): the programs and the bootloader library side by
# side in /usr/lib/bootloader-wizard (they load the library from their own
# folder), the commands bootloader-wizard and bootloader-cli on the PATH, a
# desktop entry, the icon in each size the .ico holds, and the udev rule for
# the panel's USB adaptor. The dependencies come from the libraries the
# programs link (dpkg-shlibdeps).
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

set(_name bootloader-wizard)
set(_programdir lib/${_name})
set(_staging ${CMAKE_BINARY_DIR}/package)
file(MAKE_DIRECTORY ${_staging})

install(TARGETS bootloader-wizard bootloader-cli RUNTIME DESTINATION ${_programdir})
install(TARGETS PICBOOT LIBRARY DESTINATION ${_programdir} NAMELINK_SKIP)
# The PATH's commands are links, so that the programs still find their folder.
foreach(_command bootloader-wizard bootloader-cli)
    file(CREATE_LINK ../${_programdir}/${_command} ${_staging}/${_command} SYMBOLIC)
    install(FILES ${_staging}/${_command} DESTINATION bin)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${_name}.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/70-${_name}.rules DESTINATION /lib/udev/rules.d)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/${_name})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/${_name}.metainfo.xml DESTINATION share/metainfo)

# The changelog and the manual pages, compressed as Debian wants them.
set(_compressed)
foreach(_file changelog bootloader-wizard.1 bootloader-cli.1)
    add_custom_command(OUTPUT ${_staging}/${_file}.gz
        COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/${_file} > ${_staging}/${_file}.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${_file})
    list(APPEND _compressed ${_staging}/${_file}.gz)
endforeach()
install(FILES ${_staging}/changelog.gz DESTINATION share/doc/${_name})
install(FILES ${_staging}/bootloader-wizard.1.gz ${_staging}/bootloader-cli.1.gz DESTINATION share/man/man1)

# One PNG a size of the .ico, whose directory names the sizes.
set(_ico ${PROJECT_SOURCE_DIR}/resources/images/bootloaderwizardapp.ico)
file(READ ${_ico} _header HEX LIMIT 6)
string(SUBSTRING ${_header} 8 2 _low)
string(SUBSTRING ${_header} 10 2 _high)
math(EXPR _count "0x${_high}${_low}")
math(EXPR _bytes "16 * ${_count}")
file(READ ${_ico} _entries HEX OFFSET 6 LIMIT ${_bytes})
set(_icons)
math(EXPR _last "${_count} - 1")
foreach(_i RANGE ${_last})
    math(EXPR _at "32 * ${_i}")
    string(SUBSTRING ${_entries} ${_at} 2 _width)
    math(EXPR _size "0x${_width}")
    if(_size EQUAL 0)
        set(_size 256)
    endif()
    list(APPEND _icons ${_staging}/icons/${_size}.png)
    list(APPEND WIZARD_ICON_SIZES ${_size})
    install(FILES ${_staging}/icons/${_size}.png DESTINATION share/icons/hicolor/${_size}x${_size}/apps
            RENAME ${_name}.png)
endforeach()
add_custom_command(OUTPUT ${_icons}
    COMMAND wizard-iconexport ${_ico} ${_staging}/icons
    DEPENDS wizard-iconexport ${_ico})
add_custom_target(package_files ALL DEPENDS ${_icons} ${_compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${_name})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Bootloader Wizard developers <suporte@centraldealarme.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware update wizard for the Central de alarme")
set(CPACK_PACKAGE_DESCRIPTION "The wizard a field technician runs to update the firmware of the
Central de alarme over its USB cable: it finds the panel on the serial
ports, erases it, writes an Intel HEX file in 256-byte blocks, reads every
block back and compares it before the panel is started again.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Ours, not CPack's ldconfig calls: the library is private to the program.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)

# Installs like a Linux application: both programs, the desktop entry, the
# icon at its sizes, AppStream metainfo and a man page for every program in
# man/; `cpack -G DEB` in the build folder makes a .deb of it.
include(GNUInstallDirs)

set(TAVRIX_APP_ID example.tavrix_instruments.Configurator)

install(TARGETS tavrix tavrix-sim tavrix-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/${TAVRIX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${TAVRIX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${TAVRIX_APP_ID}.png)
endforeach()
# Debian wants manual pages and the changelog compressed, reproducibly (gzip
# -n keeps no name or time stamp).
find_program(TAVRIX_GZIP gzip REQUIRED)
function(tavrix_gzip out_var src name)
    set(plain ${CMAKE_BINARY_DIR}/packaged/${name})
    add_custom_command(OUTPUT ${plain}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${src} ${plain}
        COMMAND ${TAVRIX_GZIP} -9nf ${plain}
        DEPENDS ${src} VERBATIM)
    set(${out_var} ${plain}.gz PARENT_SCOPE)
endfunction()

# Every page in man/, so a new program only adds its page there.
file(GLOB man_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.1)
set(packaged_files)
foreach(page ${man_pages})
    get_filename_component(name ${page} NAME)
    tavrix_gzip(gz ${page} ${name})
    list(APPEND packaged_files ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
tavrix_gzip(changelog_gz ${CMAKE_SOURCE_DIR}/data/debian/changelog changelog)
list(APPEND packaged_files ${changelog_gz})
add_custom_target(packaged_files ALL DEPENDS ${packaged_files})
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
install(FILES ${changelog_gz} ${CMAKE_SOURCE_DIR}/data/debian/copyright DESTINATION ${doc_dir})
# Optional: keeps ModemManager from probing serial adapters; copied to
# /etc/udev/rules.d/ by whoever wants it (see tavrix(1)).
install(FILES ${CMAKE_SOURCE_DIR}/data/70-tavrix-mm-ignore.rules DESTINATION ${doc_dir}/examples)

set(CPACK_PACKAGE_NAME tavrix)
set(CPACK_PACKAGE_VENDOR "Tavrix Instruments")
set(CPACK_PACKAGE_CONTACT "Tavrix Instruments <support@tavrix-instruments.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for the Tavrix HART to MODBUS RTU converter")
# Lines of the control file's description stay under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "Reads and sets the parameters of a Tavrix converter module over a
serial port, talks to the HART instrument behind it and tests its MODBUS RTU
side. Comes with tavrix-cli, the same exchanges from the command line, and
tavrix-sim, a simulated module on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.tavrix-instruments.example/)
# Dependencies from the shared libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

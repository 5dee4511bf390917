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
# Every page in man/, so a new program only adds its page there.
file(GLOB man_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.1)
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME tavrix)
set(CPACK_PACKAGE_VENDOR "Tavrix Instruments")
set(CPACK_PACKAGE_CONTACT "Tavrix Instruments <support@tavrix-instruments.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for the Tavrix HART to MODBUS RTU converter")
set(CPACK_PACKAGE_DESCRIPTION "Reads and sets the parameters of a Tavrix converter module over a \
serial port, talks to the HART instrument behind it and tests its MODBUS RTU side. Comes with \
tavrix-sim, a simulated module on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.tavrix-instruments.example/)
# Dependencies from the shared libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

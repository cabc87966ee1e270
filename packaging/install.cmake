# Installation as a Linux desktop program and the Debian package.
#
#   bin/kelvora, bin/kelvora-cli
#   share/kelvora/Examples/*.txt, share/kelvora/Help.txt, share/kelvora/HelpRus.txt
#   share/applications/kelvora.desktop, share/icons/hicolor/{scalable,256x256}/apps/kelvora.{svg,png}
#   share/man/man1/kelvora-cli.1.gz, share/doc/kelvora/copyright
#
# The program looks for its examples and help texts beside itself first (the build folder), then in
# ../share/kelvora relative to its own folder, so an installed copy works from any prefix.
include(GNUInstallDirs)

set(KELVORA_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvora)

install(TARGETS kelvora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Examples/ DESTINATION ${KELVORA_DATA_DESTINATION}/Examples
        FILES_MATCHING PATTERN "*.txt")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvora)

# The manual page is written from the tool's own --help texts after each build of kelvora-cli.
find_program(KELVORA_GZIP gzip)
set(KELVORA_MANPAGE ${CMAKE_BINARY_DIR}/man/kelvora-cli.1)
add_custom_command(
  OUTPUT ${KELVORA_MANPAGE}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/make_manpage.sh $<TARGET_FILE:kelvora-cli> ${KELVORA_MANPAGE}
  COMMAND ${KELVORA_GZIP} -9nf ${KELVORA_MANPAGE}
  DEPENDS kelvora-cli ${PROJECT_SOURCE_DIR}/tools/make_manpage.sh
  COMMENT "Writing the kelvora-cli manual page")
add_custom_target(kelvora_manpage ALL DEPENDS ${KELVORA_MANPAGE}.gz)
install(FILES ${KELVORA_MANPAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET kelvora)
  install(TARGETS kelvora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/app/help/Help.txt ${PROJECT_SOURCE_DIR}/app/help/HelpRus.txt
          DESTINATION ${KELVORA_DATA_DESTINATION})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/kelvora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/kelvora.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/kelvora-256.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME kelvora.png)
endif()

# make package: a .deb whose Depends are worked out from the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvora)
set(CPACK_PACKAGE_VENDOR "Kelvora")
set(CPACK_PACKAGE_CONTACT "Kelvora developers <kelvora@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "analysis of skin microcirculation signals (temperature, blood flow, PPG)")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Kelvora converts a skin temperature record into an estimated blood flow and a laser Doppler blood-flow "
  "record into an estimated temperature (Fourier filtration, wavelet filtration, Shitzer's model), shows "
  "both curves with their correlation, filters signals to the physiological bands and turns a "
  "photoplethysmogram into a slow blood-flow curve. The package holds the desktop program kelvora and the "
  "command-line tool kelvora-cli.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kelvora.example.org/")
set(CPACK_STRIP_FILES ON)
include(CPack)

# Installing the programs with their desktop entry, icon, AppStream data, manual pages and
# user guide, and packaging them for Debian (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS velunda-filtre RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET velunda)
  install(TARGETS velunda RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(VELUNDA_DATA ${PROJECT_SOURCE_DIR}/data)
install(FILES ${VELUNDA_DATA}/desktop/velunda.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELUNDA_DATA}/desktop/velunda.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${VELUNDA_DATA}/desktop/io.github.velunda.velunda.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VELUNDA_DATA}/man/velunda.1 ${VELUNDA_DATA}/man/velunda-filtre.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The guide the Aide menu shows, as plain text.
if(EXISTS ${VELUNDA_DATA}/aide/guide_utilisation.txt)
  install(FILES ${VELUNDA_DATA}/aide/guide_utilisation.txt DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME velunda)
set(CPACK_PACKAGE_VENDOR "VELUNDA")
set(CPACK_PACKAGE_CONTACT "VELUNDA <velunda@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "filtre audio en temps réel pour l'écoute des ondes courtes")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Filtre le son d'un récepteur ondes courtes capté sur la carte son (passe-bas, passe-bande, "
    "réducteurs de bruit, BFO numérique, réjecteur de porteuse) ; velunda-filtre applique les "
    "mêmes filtres aux enregistrements et aux flux.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies come from the libraries the programs are linked with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

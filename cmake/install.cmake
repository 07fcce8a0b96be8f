# Installing the programs with their desktop entry, icon, AppStream data, manual pages, user
# guide, copyright and changelog, and packaging them for Debian (cpack -G DEB).
include(GNUInstallDirs)

# Who the package comes from. The defaults are placeholders until the project has a public
# home: whoever builds a package for others sets their own.
set(VELUNDA_HOMEPAGE "https://github.com/velunda/velunda"
    CACHE STRING "The project's web page (package Homepage, AppStream URL, screenshots)")
set(VELUNDA_MAINTAINER "VELUNDA developers <velunda@users.noreply.github.com>"
    CACHE STRING "The package's Maintainer: Name <address>")
set(VELUNDA_DEVELOPER "The VELUNDA developers")
# The README's pictures, as the project's page serves its files.
set(VELUNDA_SCREENSHOTS "${VELUNDA_HOMEPAGE}/raw/main/docs")

install(TARGETS velunda-filtre RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET velunda)
  install(TARGETS velunda RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(VELUNDA_DATA ${PROJECT_SOURCE_DIR}/data)
set(VELUNDA_GENERATED ${PROJECT_BINARY_DIR}/data)
set(VELUNDA_ID io.github.velunda.velunda)

# The desktop entry is named after the AppStream id, as software centres look it up by that.
install(FILES ${VELUNDA_DATA}/desktop/${VELUNDA_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELUNDA_DATA}/desktop/velunda.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${VELUNDA_DATA}/desktop/${VELUNDA_ID}.metainfo.xml.in
               ${VELUNDA_GENERATED}/${VELUNDA_ID}.metainfo.xml @ONLY)
install(FILES ${VELUNDA_GENERATED}/${VELUNDA_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The latest entry of the changelog and of the AppStream releases is this version: a new
# version number needs its entries.
foreach(versioned IN ITEMS debian/changelog.in desktop/${VELUNDA_ID}.metainfo.xml.in)
  file(STRINGS ${VELUNDA_DATA}/${versioned} latest REGEX "velunda \\(|<release " LIMIT_COUNT 1)
  if(NOT latest MATCHES "[(\"]${PROJECT_VERSION}[)\"]")
    message(FATAL_ERROR "data/${versioned}: the latest entry is not version ${PROJECT_VERSION}")
  endif()
endforeach()

# Manual pages and the changelog gzipped as Debian installs them: -9, and -n so that no name or
# time stamp makes two builds differ.
set(VELUNDA_GZIPPED)
function(velunda_gzip source output)
  add_custom_command(OUTPUT ${output} COMMAND gzip -9n -c ${source} > ${output}
                     DEPENDS ${source} VERBATIM)
  set(VELUNDA_GZIPPED ${VELUNDA_GZIPPED} ${output} PARENT_SCOPE)
endfunction()
foreach(page velunda velunda-filtre)
  velunda_gzip(${VELUNDA_DATA}/man/${page}.1 ${VELUNDA_GENERATED}/${page}.1.gz)
  install(FILES ${VELUNDA_GENERATED}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${VELUNDA_DATA}/debian/changelog.in ${VELUNDA_GENERATED}/changelog @ONLY)
velunda_gzip(${VELUNDA_GENERATED}/changelog ${VELUNDA_GENERATED}/changelog.gz)
add_custom_target(velunda_gzipped ALL DEPENDS ${VELUNDA_GZIPPED})

# Under the documentation directory: a short README on using the installed programs, the
# guide the Aide menu shows, the copyright and the changelog (named as for a native package).
configure_file(${VELUNDA_DATA}/doc/README.in ${VELUNDA_GENERATED}/README @ONLY)
configure_file(${VELUNDA_DATA}/debian/copyright.in ${VELUNDA_GENERATED}/copyright @ONLY)
install(FILES ${VELUNDA_GENERATED}/README ${VELUNDA_DATA}/aide/guide_utilisation.txt
              ${VELUNDA_GENERATED}/copyright ${VELUNDA_GENERATED}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME velunda)
set(CPACK_PACKAGE_VENDOR "${VELUNDA_DEVELOPER}")
set(CPACK_PACKAGE_CONTACT "${VELUNDA_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${VELUNDA_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "filtre audio en temps réel pour l'écoute des ondes courtes")
# Lines of at most 80 columns, as the Description field wants them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Filtre le son d'un récepteur ondes courtes capté sur la carte son\n"
    "(passe-bas, passe-bande, réducteurs de bruit, BFO numérique, réjecteur de\n"
    "porteuse) ; velunda-filtre applique les mêmes filtres aux enregistrements et\n"
    "aux flux.")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The dependencies come from the libraries the programs are linked with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

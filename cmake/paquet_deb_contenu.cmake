# Run by cpack once the programs are installed into its staging folder:
# adds what only the Debian package carries. Nothing here for other
# generators.

if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(racine "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(programmes "${racine}${CPACK_PONTEX_DOSSIER}")
if(NOT EXISTS "${programmes}/Pontex")
  message(FATAL_ERROR "Pontex is not in the package's ${CPACK_PONTEX_DOSSIER}")
endif()
set(source "${CPACK_PONTEX_SOURCE}")
# cpack runs this with DESTDIR set to its staging folder, which
# file(INSTALL) would add a second time: plain copies only. The files keep
# their permissions from the sources.
function(copie source destination)
  get_filename_component(dossier "${destination}" DIRECTORY)
  file(MAKE_DIRECTORY "${dossier}")
  file(COPY_FILE "${source}" "${destination}")
endfunction()

# Starts Pontex in the user's working folder, and the template it is made
# with.
copie("${source}/paquet/lance-pontex" "${programmes}/lance-pontex")
copie("${source}/pontex/data/modele_Pontex.wdo" "${programmes}/modele/Pontex.wdo")

# kestrap's "Fin" brings Pontex back through the launcher too: started in
# /opt/pontex or wherever kestrap was, Pontex would find none of the shop's
# files and make new ones there.
set(DOSSIER "${programmes}")
set(PROGRAMMES "${CPACK_PONTEX_DOSSIER}")
set(LANCEUR "${CPACK_PONTEX_DOSSIER}/lance-pontex")
set(SYSTEME "Linux")
include("${source}/kestrap/fichiers_livres.cmake")

# kestrap copies this entry into ~/.config/autostart: at login, too, Pontex
# starts in the working folder, not in the read-only program folder, and
# without taking the keyboard from what the user opens meanwhile. The copy
# outlives the package in the user's folder: once the package is removed,
# TryExec makes the session skip it.
file(WRITE "${programmes}/Pontex.desktop"
  "[Desktop Entry]\n"
  "Type=Application\n"
  "Name=Pontex\n"
  "Comment=Échange de stock avec le serveur\n"
  "Exec=${CPACK_PONTEX_DOSSIER}/lance-pontex --sans-focus\n"
  "TryExec=${CPACK_PONTEX_DOSSIER}/lance-pontex\n"
  "Icon=pontex\n"
  "Terminal=false\n")

file(READ "${source}/paquet/pontex.desktop" menu)
string(REPLACE "/opt/pontex/" "${CPACK_PONTEX_DOSSIER}/" menu "${menu}")
file(WRITE "${racine}/usr/share/applications/pontex.desktop" "${menu}")
copie("${CPACK_PONTEX_ICONE}" "${racine}/usr/share/icons/hicolor/64x64/apps/pontex.png")
copie("${source}/paquet/pontex.svg" "${racine}/usr/share/icons/hicolor/scalable/apps/pontex.svg")
copie("${source}/paquet/fr.pontex.pontex.metainfo.xml"
      "${racine}/usr/share/metainfo/fr.pontex.pontex.metainfo.xml")

# pontex-etat on the PATH, for the monitoring tools, and the manual pages
# of the programs.
file(MAKE_DIRECTORY "${racine}/usr/bin")
file(CREATE_LINK "${CPACK_PONTEX_DOSSIER}/pontex-etat" "${racine}/usr/bin/pontex-etat" SYMBOLIC)
set(man "${racine}/usr/share/man/man1")
copie("${source}/paquet/pontex.1" "${man}/pontex.1")
execute_process(COMMAND gzip -9nf "${man}/pontex.1" RESULT_VARIABLE compresse)
if(NOT compresse EQUAL 0)
  message(FATAL_ERROR "gzip could not compress ${man}/pontex.1")
endif()
foreach(programme IN ITEMS pontex-etat)
  file(CREATE_LINK "pontex.1.gz" "${man}/${programme}.1.gz" SYMBOLIC)
endforeach()
# relvano and kestrap have pages of their own.
foreach(page IN ITEMS relvano kestrap)
  copie("${source}/paquet/${page}.1" "${man}/${page}.1")
  execute_process(COMMAND gzip -9nf "${man}/${page}.1" RESULT_VARIABLE compresse)
  if(NOT compresse EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${man}/${page}.1")
  endif()
endforeach()

set(doc "${racine}/usr/share/doc/pontex")
copie("${source}/README.md" "${doc}/README.md")
copie("${source}/paquet/copyright" "${doc}/copyright")
copie("${source}/paquet/lintian-overrides" "${racine}/usr/share/lintian/overrides/pontex")

# Debian wants the package's changes beside its documentation, compressed.
string(TIMESTAMP date_paquet "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
  "${CPACK_DEBIAN_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) stable; urgency=medium\n\n"
  "  * Pontex ${CPACK_PACKAGE_VERSION}: see README.md.\n\n"
  " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date_paquet}\n")
execute_process(COMMAND gzip -9nf "${doc}/changelog" RESULT_VARIABLE compresse)
if(NOT compresse EQUAL 0)
  message(FATAL_ERROR "gzip could not compress ${doc}/changelog")
endif()

# The Debian package of a Linux shop: "cpack -G DEB" in the build folder (or
# scripts/package.sh) makes pontex_<version>_<arch>.deb, installed with
#
#   apt install ./pontex_<version>_amd64.deb
#
# The three programs and their files go to /opt/pontex (read-only), a menu
# entry and its icon to /usr/share, the README to /usr/share/doc/pontex.
# The menu entry, the start-at-login entry that kestrap copies and every
# restart start Pontex in the user's own working folder, ~/Pontex, made at
# the first start with a configuration template (paquet/lance-pontex).
#
# Included by installation.cmake before CPack. The files that only the
# package carries are added to cpack's staging folder by
# paquet_deb_contenu.cmake, so "cmake --install" never writes outside its
# prefix.

if(WIN32 OR APPLE)
  return()
endif()

set(CPACK_DEBIAN_PACKAGE_NAME "pontex")
find_program(PONTEX_DPKG dpkg)
if(PONTEX_DPKG)
  execute_process(COMMAND "${PONTEX_DPKG}" --print-architecture
                  OUTPUT_VARIABLE pontex_architecture OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(pontex_architecture "amd64")
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${pontex_architecture}")
set(CPACK_DEBIAN_FILE_NAME "pontex_${PROJECT_VERSION}_${pontex_architecture}.deb")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pontex support <support@pontex.fr>")
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The package's synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the
# text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Pontex applies the stock movement files that a remote stock server drops
into a transit folder to the cash-register program's article records,
records the movements, and writes a stock level export for the server.
It runs one exchange, then restarts itself through relvano. kestrap
makes it start at login.")
# The Qt 6 runtime libraries, as the programs link them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_STRIP_FILES ON)

# The menu entry's icon: the exchange's two arrows around the stock parcel.
set(pontex_icone_menu "${CMAKE_BINARY_DIR}/paquet/pontex.png")
pontex_dessine("${pontex_icone_menu}" "${CMAKE_SOURCE_DIR}/relvano/images/icone.mvg" 64x64)
add_custom_target(pontex_icone_menu ALL DEPENDS "${pontex_icone_menu}")

# Read by paquet_deb_contenu.cmake when cpack runs.
set(CPACK_PONTEX_SOURCE "${CMAKE_SOURCE_DIR}")
set(CPACK_PONTEX_ICONE "${pontex_icone_menu}")
set(CPACK_PONTEX_DOSSIER "${PONTEX_DOSSIER_PAQUET}")
list(APPEND CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/paquet_deb_contenu.cmake")

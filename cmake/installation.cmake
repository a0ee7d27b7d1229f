# The folder that ships to a shop: Pontex, relvano and kestrap side by side
# with the files they load from their current folder (qz_img_024.gif,
# Kestrap.ico) and kestrap's list and entry files, written for the folder
# they are installed into. Pontex finds relvano, and relvano Pontex, in
# their own folder, so the folder runs in place wherever it is put:
#
#   cmake --install build --prefix /opt/pontex
#
# relvano and kestrap install themselves (with their files) into
# CMAKE_INSTALL_BINDIR, "." by default: the prefix itself is the shop's
# folder. Pontex goes beside them.
#
# "cpack -G TGZ" packs the same folder, made for PONTEX_DOSSIER_PAQUET: the
# archive holds that path and is unpacked from the root of the shop's
# machine (its kestrap.wdo and Pontex.desktop name that folder).

if(NOT PONTEX_GUI)
  return()
endif()

include(GNUInstallDirs)

install(TARGETS Pontex RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# Built for Windows: the NSIS installer, in a file of its own.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  include(${CMAKE_CURRENT_LIST_DIR}/paquet_nsis.cmake)
  return()
endif()

set(PONTEX_DOSSIER_PAQUET "/opt/pontex" CACHE PATH
    "Folder of the shop's machine the package made by cpack is unpacked into")

set(CPACK_PACKAGE_NAME "Pontex")
set(CPACK_PACKAGE_VENDOR "Pontex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Keeps a shop's cash register in step with a remote stock server")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "TGZ")
# The files written at installation name the folder Pontex runs from: the
# package is installed for its final folder, not for a staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX "${PONTEX_DOSSIER_PAQUET}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${PONTEX_DOSSIER_PAQUET}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

# "cpack -G DEB": the Debian package.
include("${CMAKE_CURRENT_LIST_DIR}/paquet_deb.cmake")

include(CPack)

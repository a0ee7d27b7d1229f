# The Windows installer, made on Linux with NSIS: in a build for Windows,
# "cpack -G NSIS" gives Pontex-<version>-win64.exe.
#
# Programs and the shop's files are kept apart, as the Linux package does:
#  - the programs, their DLLs, Qt's plugins and the files that ship with them
#    go into "Program Files\Pontex", which standard users may read and run
#    but not change: nobody can replace Pontex.exe or drop a DLL beside it
#    for the next start (perhaps an administrator's) to run;
#  - the shop's working folder is C:\Pontex: Pontex.wdo and everything
#    Pontex writes (window-state store, journal, progress record, record of
#    applied files, status file, lock). Made at the root of C:, it takes the
#    root's rights, under which the shop's session may write there. No
#    program is put there.
# Pontex runs in the working folder: the Start-menu shortcut and the entry
# file kestrap copies into the Startup folder (Pontex.lnk beside the
# programs, which only the installer can make, as it alone knows the
# folders) start Pontex.exe from Program Files with C:\Pontex as their
# working folder. Pontex, relvano and kestrap find each other beside
# themselves, never in the working folder.
#
# Installed over the layout before this one (everything in C:\Pontex), the
# installer removes from C:\Pontex exactly the files that installer
# delivered, and keeps every other file there as it is. The old uninstaller
# is not run: it lies in a folder every session could write to. A Startup
# entry of the installing user is made again for the new place.
#
# Uninstalling removes what was installed and nothing else: C:\Pontex and
# the shop's files stay.

set(CPACK_PACKAGE_NAME "Pontex")
set(CPACK_PACKAGE_VENDOR "Pontex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Keeps a shop's cash register in step with a remote stock server")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "NSIS")
set(CPACK_PACKAGE_FILE_NAME "Pontex-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Pontex")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Pontex")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Pontex")
set(CPACK_NSIS_DISPLAY_NAME "Pontex")
set(CPACK_NSIS_INSTALLED_ICON_NAME "Pontex.exe")
set(CPACK_NSIS_MODIFY_PATH OFF)
# The texts below are NSIS script, passed on as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
# A 64-bit installer for 64-bit programs: it runs where 32-bit programs do
# not (a Wine without its 32-bit part), and writes the registry's 64-bit view
# and "Program Files" rather than "Program Files (x86)".
# PONTEX_TRAVAIL: the shop's working folder. PONTEX_DEMARRAGE: the Startup
# folder kestrap copies the entry file into (the profile's, as kestrap
# finds it). A program of the old layout still running is removed at the
# next restart of Windows.
set(CPACK_NSIS_DEFINES [[
Target amd64-unicode
!define PONTEX_TRAVAIL "C:\Pontex"
!define PONTEX_DEMARRAGE "$PROFILE\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup"
!macro PONTEX_RETIRE_ANCIEN nom
  Delete /REBOOTOK "${PONTEX_TRAVAIL}\${nom}"
!macroend
]])

# Before the files: the working folder, and the layout before this one
# taken out of it. Only the names that installer delivered are removed
# (its programs, DLLs, plugins, picture, icon, kestrap's list, the entry
# file and the uninstaller); a plugin folder goes only once empty.
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS [[
  CreateDirectory "${PONTEX_TRAVAIL}"
  StrCmp "$INSTDIR" "${PONTEX_TRAVAIL}" pontex_ancien_fait
  IfFileExists "${PONTEX_TRAVAIL}\Pontex.exe" 0 pontex_ancien_fait
    DetailPrint "Programs moved out of ${PONTEX_TRAVAIL}; the shop's files stay there."
    !insertmacro PONTEX_RETIRE_ANCIEN "Pontex.exe"
    !insertmacro PONTEX_RETIRE_ANCIEN "relvano.exe"
    !insertmacro PONTEX_RETIRE_ANCIEN "kestrap.exe"
    !insertmacro PONTEX_RETIRE_ANCIEN "pontex-etat.exe"
    !insertmacro PONTEX_RETIRE_ANCIEN "Qt6Core.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "Qt6Gui.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "Qt6Widgets.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "libstdc++-6.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "libgcc_s_seh-1.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "libwinpthread-1.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "platforms\qwindows.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "styles\qwindowsvistastyle.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "imageformats\qgif.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "imageformats\qico.dll"
    !insertmacro PONTEX_RETIRE_ANCIEN "qz_img_024.gif"
    !insertmacro PONTEX_RETIRE_ANCIEN "Kestrap.ico"
    !insertmacro PONTEX_RETIRE_ANCIEN "kestrap.wdo"
    !insertmacro PONTEX_RETIRE_ANCIEN "Pontex.lnk"
    !insertmacro PONTEX_RETIRE_ANCIEN "Uninstall.exe"
    RMDir "${PONTEX_TRAVAIL}\platforms"
    RMDir "${PONTEX_TRAVAIL}\styles"
    RMDir "${PONTEX_TRAVAIL}\imageformats"
  pontex_ancien_fait:
  SetOutPath "$INSTDIR"
]])

# Shortcuts take the current output folder as their working folder: Pontex
# finds Pontex.wdo in the folder it is started in. The Startup entry of the
# installing user, when there is one, is made again: it may name the
# programs' old place.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  SetOutPath "${PONTEX_TRAVAIL}"
  CreateShortCut "$INSTDIR\Pontex.lnk" "$INSTDIR\Pontex.exe" "--sans-focus"
  IfFileExists "${PONTEX_DEMARRAGE}\Pontex.lnk" 0 +2
    CreateShortCut "${PONTEX_DEMARRAGE}\Pontex.lnk" "$INSTDIR\Pontex.exe" "--sans-focus"
  SetOutPath "$INSTDIR"
]])
set(CPACK_NSIS_CREATE_ICONS_EXTRA [[
  SetOutPath "${PONTEX_TRAVAIL}"
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Pontex.lnk" "$INSTDIR\Pontex.exe"
  SetOutPath "$INSTDIR"
]])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  Delete "$SMPROGRAMS\$MUI_TEMP\Pontex.lnk"
]])
# The start at login registered with kestrap would start a program that is
# gone: its entry goes too. The working folder goes only if empty.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [[
  Delete "$INSTDIR\Pontex.lnk"
  Delete "${PONTEX_DEMARRAGE}\Pontex.lnk"
  RMDir "${PONTEX_TRAVAIL}"
]])

include(CPack)

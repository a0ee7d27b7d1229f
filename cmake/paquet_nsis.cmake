# The Windows installer, made on Linux with NSIS: in a build for Windows,
# "cpack -G NSIS" gives Pontex-<version>-win64.exe.
#
# Pontex keeps its settings (Pontex.wdo), its window-state store and its
# working files beside itself, so it is installed into a folder the shop's
# user can write to: C:\Pontex by default, not "Program Files". The folder
# gets the entry file kestrap copies into the Startup folder (Pontex.lnk,
# which only the installer can make, as it alone knows the folder chosen) and
# the Start menu a shortcut that starts Pontex in that folder. Uninstalling
# removes what was installed and nothing else: the shop's Pontex.wdo and what
# Pontex wrote beside itself stay, and so does the folder that holds them.

set(CPACK_PACKAGE_NAME "Pontex")
set(CPACK_PACKAGE_VENDOR "Pontex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Keeps a shop's cash register in step with a remote stock server")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "NSIS")
set(CPACK_PACKAGE_FILE_NAME "Pontex-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Pontex")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Pontex")
set(CPACK_NSIS_INSTALL_ROOT "C:")
set(CPACK_NSIS_PACKAGE_NAME "Pontex")
set(CPACK_NSIS_DISPLAY_NAME "Pontex")
set(CPACK_NSIS_INSTALLED_ICON_NAME "Pontex.exe")
set(CPACK_NSIS_MODIFY_PATH OFF)
# The texts below are NSIS script, passed on as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
# A 64-bit installer for 64-bit programs: it runs where 32-bit programs do
# not (a Wine without its 32-bit part), and writes the registry's 64-bit view.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")

# Shortcuts take the current output folder as their working folder: Pontex
# finds Pontex.wdo and its pictures in the folder it is started from.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [[
  SetOutPath "$INSTDIR"
  CreateShortCut "$INSTDIR\Pontex.lnk" "$INSTDIR\Pontex.exe" "--sans-focus"
]])
set(CPACK_NSIS_CREATE_ICONS_EXTRA [[
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Pontex.lnk" "$INSTDIR\Pontex.exe"
]])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  Delete "$SMPROGRAMS\$MUI_TEMP\Pontex.lnk"
]])
# The start at login registered with kestrap would start a program that is
# gone: its entry goes too (kestrap's Startup folder, under the profile).
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [[
  Delete "$INSTDIR\Pontex.lnk"
  Delete "$PROFILE\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\Pontex.lnk"
]])

include(CPack)

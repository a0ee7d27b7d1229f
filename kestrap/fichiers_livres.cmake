# Writes the files that ship beside kestrap for a Pontex installed in a given
# folder: the list file "kestrap.wdo" and, on Linux, the entry file
# "Pontex.desktop" that kestrap copies into the user's autostart folder.
# Run by the build for build/bin and by the installation for the installed
# folder:
#   cmake -DDOSSIER=<folder written to> -DPROGRAMMES=<folder of the installed
#         Pontex, if different> [-DSYSTEME=Windows] [-DLANCEUR=<launcher>]
#         -P fichiers_livres.cmake
# DOSSIER differs from PROGRAMMES when installing into a staging root
# (DESTDIR): the files name where Pontex will run, not where they are written.
# SYSTEME is the system the programs are built for (the script itself may run
# on another one when cross-building). LANCEUR, on Linux, is the program that
# starts Pontex in the shop's folder when that is not the programs' folder
# (the package's lance-pontex): kestrap's "Fin" then starts it.

if(NOT DEFINED DOSSIER)
  message(FATAL_ERROR "fichiers_livres.cmake: DOSSIER is not set")
endif()
if(NOT DEFINED PROGRAMMES OR PROGRAMMES STREQUAL "")
  set(PROGRAMMES "${DOSSIER}")
endif()
get_filename_component(PROGRAMMES "${PROGRAMMES}" ABSOLUTE)
if(NOT DEFINED SYSTEME)
  set(SYSTEME "${CMAKE_HOST_SYSTEM_NAME}")
endif()
if(SYSTEME STREQUAL "Windows")
  set(windows TRUE)
else()
  set(windows FALSE)
endif()
if(windows)
  # On Windows the entry is a shortcut, made in the folder by the installer
  # (which alone knows the folder the shop chose), and "Fin" starts Pontex by
  # its bare name: the system looks first in the folder of the running
  # program, where kestrap and Pontex lie side by side, wherever that is.
  set(entree "Pontex.lnk")
else()
  set(pontex "${PROGRAMMES}/Pontex")
  set(entree "Pontex.desktop")
endif()

# The list file is Windows-1252 text, and kestrap hands its return command
# to the system as Windows-1252: a folder name with accents ("Données") is
# converted here so that "Fin" finds Pontex. Each character is first replaced
# by a marker made of control characters and its code, then each marker by
# its byte, so that no byte produced by one replacement can be read as part
# of another character.
function(pontex_en_1252 texte sortie)
  string(ASCII 1 debut)
  string(ASCII 2 fin)
  # Windows-1252's own characters between 128 and 159.
  set(caracteres_propres
    "€=128" "‚=130" "ƒ=131" "„=132" "…=133" "†=134" "‡=135" "ˆ=136" "‰=137"
    "Š=138" "‹=139" "Œ=140" "Ž=142" "‘=145" "’=146" "“=147" "”=148" "•=149"
    "–=150" "—=151" "˜=152" "™=153" "š=154" "›=155" "œ=156" "ž=157" "Ÿ=159")
  foreach(paire IN LISTS caracteres_propres)
    string(REGEX MATCH "^(.+)=([0-9]+)$" _ "${paire}")
    string(REPLACE "${CMAKE_MATCH_1}" "${debut}${CMAKE_MATCH_2}${fin}" texte "${texte}")
  endforeach()
  # U+00A0 to U+00FF: two UTF-8 bytes, the same code in Windows-1252.
  string(ASCII 194 c2)
  string(ASCII 195 c3)
  foreach(suite RANGE 128 191)
    string(ASCII ${suite} octet)
    math(EXPR code "${suite} + 64")
    string(REPLACE "${c3}${octet}" "${debut}${code}${fin}" texte "${texte}")
    if(suite GREATER_EQUAL 160)
      string(REPLACE "${c2}${octet}" "${debut}${suite}${fin}" texte "${texte}")
    endif()
  endforeach()
  # Any byte left above 127 belongs to a character Windows-1252 lacks.
  string(ASCII 128 octet_128)
  string(ASCII 255 octet_255)
  string(REGEX MATCH "[${octet_128}-${octet_255}]" reste "${texte}")
  if(NOT reste STREQUAL "")
    message(WARNING "${texte} holds characters that Windows-1252 cannot write: "
                    "kestrap's \"Fin\" will not find Pontex there")
  endif()
  foreach(code RANGE 128 255)
    string(ASCII ${code} octet)
    string(REPLACE "${debut}${code}${fin}" "${octet}" texte "${texte}")
  endforeach()
  set(${sortie} "${texte}" PARENT_SCOPE)
endfunction()

# The return command, as the system's command interpreter reads it: paths
# quoted, so that spaces and other characters in the folder name are taken
# as they are. Pontex finds the shop's files in the folder it starts in,
# and kestrap may itself have been started anywhere (by hand from a
# terminal): the command starts Pontex in its own folder, or, when a
# launcher is given (the package's, which makes and enters the shop's
# folder in the user's home), through that launcher.
if(windows)
  set(commande "Pontex.exe")
elseif(DEFINED LANCEUR AND NOT LANCEUR STREQUAL "")
  string(REPLACE "'" "'\\''" commande "${LANCEUR}")
  set(commande "'${commande}'")
else()
  string(REPLACE "'" "'\\''" dossier_cite "${PROGRAMMES}")
  string(REPLACE "'" "'\\''" pontex_cite "${pontex}")
  set(commande "cd '${dossier_cite}' && exec '${pontex_cite}'")
endif()
if(commande MATCHES "\\|")
  message(WARNING "${pontex}: a \"|\" in the folder name cuts kestrap's return command "
                  "(everything after it is a comment in kestrap.wdo)")
endif()
pontex_en_1252("${commande}" commande)

set(cr_lf "\r\n")
file(WRITE "${DOSSIER}/kestrap.wdo"
  "#R#${entree}   | entry file, copied into the user's Startup folder${cr_lf}"
  "#N#Pontex${cr_lf}"
  "#P#${commande}   | brings Pontex back when the tool ends${cr_lf}")

if(NOT windows)
  # Desktop entry (UTF-8). Exec takes the program's path, quoted with its
  # reserved characters escaped when it holds any; the value itself then
  # escapes its backslashes once more, and "%" starts a field code.
  set(exec "${pontex}")
  if(exec MATCHES "[^A-Za-z0-9/._+-]")
    string(REPLACE "\\" "\\\\" exec "${exec}")
    string(REPLACE "\"" "\\\"" exec "${exec}")
    string(REPLACE "`" "\\`" exec "${exec}")
    string(REPLACE "$" "\\$" exec "${exec}")
    set(exec "\"${exec}\"")
  endif()
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "%" "%%" exec "${exec}")
  # Pontex finds its own files in the folder it is started from. Started at
  # login, nobody is waiting for its window: it must not take the keyboard
  # from what the user opens meanwhile.
  string(REPLACE "\\" "\\\\" dossier_travail "${PROGRAMMES}")
  # A folder removed or moved while the entry stays in the autostart folder:
  # TryExec names the program, and the session skips an entry whose program
  # is gone instead of failing at every login.
  string(REPLACE "\\" "\\\\" essai "${pontex}")
  file(WRITE "${DOSSIER}/Pontex.desktop"
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Pontex\n"
    "Comment=Échange de stock avec le serveur\n"
    "Exec=${exec} --sans-focus\n"
    "TryExec=${essai}\n"
    "Path=${dossier_travail}\n"
    "Icon=${dossier_travail}/pontex.svg\n"
    "Terminal=false\n")
endif()

# The layers of the core, enforced by the build rather than by review alone.
#
# Every include names its folder from the repository's root
# ("pontex/data/caisse.h"). A core library does not get the root itself as
# its include folder: it gets a folder of the build tree that holds links to
# its own folder and to the folders below it, and nothing else. An include
# that points up ("pontex/exchange/..." from pontex/data) then finds no file
# and the build stops; a call that points up finds no symbol, since each
# library links only the one below it. scripts/verifie_couches.sh stays as a
# second check with clearer messages (and for Qt headers in the core).
#
# `cible` is the library, the other arguments the folders it may see, from
# the repository's root ("pontex/shared", "tools").
#
# Where the system cannot make links (a Windows build without the right to),
# the root is used and only the script checks the layers.
function(pontex_racine_inclusion cible)
  set(racine ${CMAKE_BINARY_DIR}/couches/${cible})
  set(liens_faits TRUE)
  file(MAKE_DIRECTORY ${racine}/pontex)
  foreach(dossier IN LISTS ARGN)
    set(lien ${racine}/${dossier})
    if(NOT IS_SYMLINK ${lien})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${dossier} ${lien} RESULT resultat SYMBOLIC)
      if(NOT resultat EQUAL 0)
        set(liens_faits FALSE)
      endif()
    endif()
  endforeach()
  if(liens_faits)
    target_include_directories(${cible} PUBLIC $<BUILD_INTERFACE:${racine}>)
  else()
    target_include_directories(${cible} PUBLIC ${CMAKE_SOURCE_DIR})
  endif()
endfunction()

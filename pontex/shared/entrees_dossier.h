#pragma once
// The import folder as the exchange sees it: every name the server left
// there, whatever it is, read in one pass; and a folder's own changes (a
// file removed from it) put on the disk.

#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/resultat.h"

namespace pontex {

struct EntreeDossier {
  // The name in program form (Windows-1252; on Linux, the bytes with no
  // Windows-1252 form written "\xhh"), as the transit files take it. On
  // Windows, a name with characters the ANSI code page cannot hold shows
  // their UTF-8 bytes written "\xhh", as Linux shows the same name.
  std::string nom;
  // A plain file, or a link (which the transit files refuse to read). False
  // for a named pipe, a socket or a device: opening one for reading could
  // wait forever, so it is never opened. False too, on Windows, for a name
  // the ANSI code page cannot hold: the program could reach it only through
  // a name that names another file or none, so it is left where it is.
  bool fichier = true;
};

// Every entry of the held folder whose name matches `motif`, in the order of
// a file list box. Hidden names and folders are left out. A folder that
// cannot be read fails with no entries.
Resultat liste_entrees_detaillees(const DossierTenu& dossier, std::string_view motif,
                                  std::vector<EntreeDossier>& entrees);

}  // namespace pontex

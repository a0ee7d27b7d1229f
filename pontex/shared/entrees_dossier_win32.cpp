// The import folder's entries on Windows. A folder there holds only files
// and folders (no pipe or device can be put in one), so the entries are the
// file list box's names. A name with no ANSI form is left out, as there.

#include <windows.h>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

Resultat liste_entrees(std::string_view dossier, std::string_view motif,
                       std::vector<EntreeDossier>& entrees) {
  entrees.clear();
  std::vector<std::string> noms;
  Resultat r = liste_fichiers(dossier, motif, noms);
  entrees.reserve(noms.size());
  for (auto& nom : noms) entrees.push_back({std::move(nom), true});
  return r;
}

// Windows names hold no escapes: the path reaches the entry.
std::optional<std::chrono::nanoseconds> date_entree(std::string_view dossier,
                                                    std::string_view nom) {
  std::string chemin(dossier);
  if (!chemin.empty() && chemin.back() != '\\') chemin.push_back('\\');
  chemin.append(nom);
  return date_modification(chemin);
}

// Windows has no call that flushes a folder alone; a handle on the folder
// opened for writing can be flushed on NTFS, which puts the folder's entries
// on the disk with the rest of its journal. Where it is refused (another
// file system, an older system), nothing more can be done.
}  // namespace pontex

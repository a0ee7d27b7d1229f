// The import folder's entries on Windows. A folder there holds only files
// and folders (no pipe or device can be put in one), so the entries are the
// file list box's names. A name with no ANSI form is left out, as there.

#include <windows.h>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

Resultat liste_entrees_detaillees(const DossierTenu& dossier, std::string_view motif,
                                  std::vector<EntreeDossier>& entrees) {
  entrees.clear();
  // Held without delete sharing, the folder under this name is the one
  // opened: it can be neither renamed nor replaced meanwhile.
  std::vector<std::string> noms;
  Resultat r = liste_entrees(dossier, motif, noms);
  entrees.reserve(noms.size());
  for (auto& nom : noms) entrees.push_back({std::move(nom), true});
  return r;
}

}  // namespace pontex

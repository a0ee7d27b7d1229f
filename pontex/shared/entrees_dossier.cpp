// The import folder's entries, the same on every system: the test hook, the
// held folder, and the order of a file list box. How a folder is read is in
// entrees_dossier_posix.cpp / _win32.cpp.

#include "pontex/shared/entrees_dossier.h"

#include <algorithm>

#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

Resultat liste_entrees_detaillees(const DossierTenu& dossier, std::string_view motif,
                                  std::vector<EntreeDossier>& entrees) {
  entrees.clear();
  const std::string& chemin = dossier.chemin();
  if (interne::echec_injecte(Operation::listage, chemin))
    return Resultat::echec("failure injected for " + chemin);
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + chemin);
  interne::CodeSysteme code = 0;
  if (!interne::lit_entrees(dossier, motif, entrees, code)) {
    entrees.clear();
    return interne::echec_code("list", chemin, code);
  }
  std::sort(entrees.begin(), entrees.end(), [](const EntreeDossier& a, const EntreeDossier& b) {
    return interne::avant_dans_liste(a.nom, b.nom);
  });
  return Resultat::succes();
}

}  // namespace pontex

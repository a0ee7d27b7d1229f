#include "pontex/shared/liste_fichiers.h"

#include "pontex/shared/fichiers.h"

namespace pontex {

Resultat ListeFichiers::met_dossier(std::string dossier) {
  // A list box refuses a folder that does not exist and keeps showing the
  // one it had; the shop sees no change rather than an empty list.
  if (!existe_dossier(dossier)) return Resultat::echec("folder not found: " + dossier);
  dossier_ = std::move(dossier);
  rafraichit();
  return Resultat::succes();
}

void ListeFichiers::rafraichit() {
  // A folder that cannot be read any more shows no name (liste_fichiers
  // leaves the list empty on failure).
  (void)liste_fichiers(dossier_, motif_, noms_);
}

}  // namespace pontex

#include "pontex/shared/liste_fichiers.h"

#include "pontex/shared/fichiers.h"

namespace pontex {

Resultat ListeFichiers::met_dossier(std::string dossier) {
  // A folder that does not exist still becomes the list's folder, and the
  // list shows nothing. Keeping the folder shown before would, on the first
  // call, list the current directory: the export step would then take the
  // program folder's own files for waiting exports.
  const bool present = existe_dossier(dossier);
  dossier_ = std::move(dossier);
  rafraichit();
  if (!present) return Resultat::echec("folder not found: " + dossier_);
  return Resultat::succes();
}

void ListeFichiers::rafraichit() {
  // A folder that cannot be read any more shows no name (liste_fichiers
  // leaves the list empty on failure).
  (void)liste_fichiers(dossier_, motif_, noms_);
}

}  // namespace pontex

#include "pontex/fenetres/boite_fichiers.h"

#include "pontex/fenetres/texte_1252.h"

namespace pontex::fenetres {

BoiteFichiers::BoiteFichiers(QWidget* parent, std::string motif)
    : QListWidget(parent), liste_(std::move(motif)) {
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
}

Resultat BoiteFichiers::met_dossier(std::string dossier) {
  Resultat r = liste_.met_dossier(std::move(dossier));
  affiche();
  return r;
}

void BoiteFichiers::rafraichit() {
  const std::vector<std::string> avant = liste_.noms();
  liste_.rafraichit();
  // Unchanged, the list keeps the line the user selected and where it was
  // scrolled to: it is refreshed every few seconds.
  if (liste_.noms() == avant && count() == static_cast<int>(avant.size())) return;
  affiche();
}

void BoiteFichiers::affiche() {
  clear();
  for (const std::string& nom : liste_.noms()) addItem(depuis_1252(nom));
}

}  // namespace pontex::fenetres

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
  liste_.rafraichit();
  affiche();
}

void BoiteFichiers::affiche() {
  clear();
  for (const std::string& nom : liste_.noms()) addItem(depuis_1252(nom));
}

}  // namespace pontex::fenetres

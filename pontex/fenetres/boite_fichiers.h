#pragma once
// A file list box: the names of one folder's files that match a fixed
// pattern, as the platform layer lists them (plain files, hidden ones left
// out, sorted ignoring case).

#include <QListWidget>
#include <string>
#include <vector>

#include "pontex/shared/liste_fichiers.h"

namespace pontex::fenetres {

class BoiteFichiers : public QListWidget {
 public:
  BoiteFichiers(QWidget* parent, std::string motif);

  // Windows-style folder (Windows-1252). A folder that does not exist shows
  // an empty list.
  Resultat met_dossier(std::string dossier);
  void rafraichit();
  // The names shown now, as Windows-1252 bytes.
  const std::vector<std::string>& noms() const { return liste_.noms(); }
  const ListeFichiers& liste() const { return liste_; }

 private:
  void affiche();
  ListeFichiers liste_;
};

}  // namespace pontex::fenetres

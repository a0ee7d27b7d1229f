#include "kestrap/creation_dossiers.h"

#include <string>
#include <vector>

#include "pontex/shared/fichiers.h"

namespace kestrap {

pontex::Resultat cree_dossiers(std::string_view dossier) {
  std::vector<std::string> manquants;
  std::string courant(dossier);
  while (!pontex::existe_dossier(courant)) {
    const std::size_t barre = courant.find_last_of("\\/");
    // "/x" or "C:\x": the next parent is the root of the file system or of
    // a drive.
    if (barre == std::string::npos || barre == 0 || courant[barre - 1] == ':') {
      return pontex::Resultat::echec("no existing parent folder for " + std::string(dossier));
    }
    manquants.push_back(courant);
    courant.resize(barre);
  }
  for (auto d = manquants.rbegin(); d != manquants.rend(); ++d) {
    // Another program may create the same folder at the same moment.
    if (pontex::Resultat r = pontex::cree_dossier(*d); !r && !pontex::existe_dossier(*d)) return r;
  }
  return pontex::Resultat::succes();
}

}  // namespace kestrap

#include "pontex/app/dossier_affiche.h"

#include <string>

#include "pontex/fenetres/texte_1252.h"

namespace pontex::fenetres {

QString dossier_affiche(std::string_view dossier) {
#ifdef _WIN32
  return depuis_1252(dossier);
#else
  std::string affiche;
  affiche.reserve(dossier.size());
  for (char c : dossier) {
    if (c == '\\') c = '/';
    if (c == '/' && !affiche.empty() && affiche.back() == '/') continue;
    affiche.push_back(c);
  }
  return depuis_1252(affiche);
#endif
}

}  // namespace pontex::fenetres

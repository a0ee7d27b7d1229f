#include "kestrap/liste_kestrap.h"

#include "pontex/shared/fichiers.h"

namespace kestrap {

namespace {

// The value of a line: from the fourth character to the first bar, without
// the spaces around it (tabs and other blanks are part of the value).
std::string valeur_ligne(std::string_view ligne) {
  std::string_view valeur = ligne.substr(3);
  valeur = valeur.substr(0, valeur.find('|'));
  const std::size_t debut = valeur.find_first_not_of(' ');
  if (debut == std::string_view::npos) return {};
  const std::size_t fin = valeur.find_last_not_of(' ');
  return std::string(valeur.substr(debut, fin - debut + 1));
}

void lit_ligne(std::string_view ligne, ListeKestrap& liste) {
  if (ligne.size() < 3) return;
  const std::string_view etiquette = ligne.substr(0, 3);
  if (etiquette == "#R#") {
    liste.nom_entree = valeur_ligne(ligne);
  } else if (etiquette == "#N#") {
    liste.titre = valeur_ligne(ligne);
  } else if (etiquette == "#P#") {
    liste.commande_retour = valeur_ligne(ligne);
  }
}

}  // namespace

ListeKestrap analyse_liste(std::string_view contenu) {
  ListeKestrap liste;
  // Lines end with CR LF in the shipped file; a lone CR or a lone LF (a file
  // edited on Linux) ends a line too, so that no line end is ever taken into
  // a value and a file name.
  while (!contenu.empty()) {
    const std::size_t fin = contenu.find_first_of("\r\n");
    lit_ligne(contenu.substr(0, fin), liste);
    if (fin == std::string_view::npos) break;
    std::size_t suite = fin + 1;
    if (contenu[fin] == '\r' && suite < contenu.size() && contenu[suite] == '\n') ++suite;
    contenu.remove_prefix(suite);
  }
  return liste;
}

ListeKestrap lit_liste(std::string_view chemin) {
  std::string contenu;
  if (!pontex::lit_texte(chemin, contenu)) return {};
  return analyse_liste(contenu);
}

}  // namespace kestrap

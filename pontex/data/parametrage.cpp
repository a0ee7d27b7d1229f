#include "pontex/data/parametrage.h"

#include "pontex/data/configuration.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"

namespace pontex {

std::string lignes_parametrage(std::string_view contenu) {
  std::string texte;
  texte.reserve(contenu.size() + 64);
  std::size_t debut = 0;
  while (debut < contenu.size()) {
    std::size_t fin = contenu.find_first_of("\r\n", debut);
    if (fin == std::string_view::npos) fin = contenu.size();
    texte.append(contenu.substr(debut, fin - debut));
    texte += '\n';
    if (fin < contenu.size() && contenu[fin] == '\r' && fin + 1 < contenu.size() &&
        contenu[fin + 1] == '\n') {
      ++fin;
    }
    debut = fin + 1;
  }
  return texte;
}

std::optional<std::string> transit_saisi(std::string_view texte) {
  constexpr std::string_view cle = "#TRANSIT#";
  const std::size_t position = texte.find(cle);
  if (position == std::string_view::npos) return std::nullopt;
  std::string_view valeur = texte.substr(position + cle.size());
  valeur = valeur.substr(0, valeur.find_first_of("\r\n"));
  if (const std::size_t barre = valeur.find('|'); barre != std::string_view::npos) {
    valeur = valeur.substr(0, barre);
    const std::size_t premier = valeur.find_first_not_of(' ');
    if (premier == std::string_view::npos) return std::string();
    valeur = valeur.substr(premier, valeur.find_last_not_of(' ') - premier + 1);
  }
  return std::string(valeur);
}

void cree_dossiers_transit(const std::string& chemin) {
  if (chemin.empty()) return;
  for (const char* sous_dossier :
       {"", "\\import", "\\import\\histo", "\\export", "\\export\\histo"}) {
    const std::string dossier = chemin + sous_dossier;
    // A folder not made is missing at the next exchange, which says so.
    if (!existe_dossier(dossier)) (void)cree_dossier(dossier);
  }
}

namespace {

Resultat ecrit_sur_disque(std::string_view chemin, std::string_view contenu) {
  FichierRecords fichier;
  if (Resultat r = fichier.ouvre(chemin, 1, FichierRecords::Creation::si_absent); !r) return r;
  if (!contenu.empty()) {
    if (Resultat r = fichier.ecrit(1, contenu.data(), contenu.size()); !r) return r;
  }
  return fichier.vide_tampons();
}

}  // namespace

Resultat enregistre_parametrage(std::string_view contenu) {
  const std::string provisoire = std::string(nom_fichier_configuration) + ".tmp";
  // A temporary file left by a save that was cut short may be longer than
  // this text: it starts again from nothing.
  (void)supprime_fichier(provisoire);  // missing is the usual case
  if (ecrit_sur_disque(provisoire, contenu) &&
      renomme_fichier(provisoire, nom_fichier_configuration)) {
    return Resultat::succes();
  }
  (void)supprime_fichier(provisoire);  // nothing to do if it cannot go either
  return ecrit_texte(nom_fichier_configuration, contenu);
}

}  // namespace pontex

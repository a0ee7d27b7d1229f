#include <cmath>
#include <cstdint>
#include <new>
#include <string>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/nombres.h"

namespace pontex {

namespace {

constexpr int lignes_ventes = 5;

bool un_article_tirable(ValeursProgramme& valeurs, std::int32_t n) {
  EnregistrementArticle article = EnregistrementArticle::vierge();
  std::string reference;
  for (std::int32_t k = 1; k <= n; ++k) {
    if (valeurs.caisse.lit_article(k, article) && article_echange(article, true, reference)) {
      return true;
    }
  }
  return false;
}

// Five lines "reference TAB quantity TAB" of articles drawn at random, or ""
// when no article can be drawn. An article that cannot be drawn costs one
// random number, a drawn one two, so a run of the program always writes the
// same lines for the same article file.
std::string tire_ventes(ValeursProgramme& valeurs, std::int32_t n) {
  if (!un_article_tirable(valeurs, n)) return {};
  // The register could change between the check and the draws; a bound far
  // beyond what a register with a single drawable article needs keeps the
  // loop from ever turning forever (the chance to hit it is below e^-64).
  const std::int64_t tirages_max = 64 * static_cast<std::int64_t>(n) * lignes_ventes + 1000;
  std::string contenu;
  EnregistrementArticle article = EnregistrementArticle::vierge();
  std::string reference;
  int ecrites = 0;
  for (std::int64_t tirage = 0; ecrites < lignes_ventes && tirage < tirages_max; ++tirage) {
    const auto k = static_cast<std::int32_t>(std::floor(tire_aleatoire(valeurs) * n)) + 1;
    if (!valeurs.caisse.lit_article(k, article)) continue;
    if (!article_echange(article, true, reference)) continue;
    ++ecrites;
    const double quantite = std::floor(tire_aleatoire(valeurs) * 2) + 1;
    contenu += reference;
    contenu += '\t';
    contenu += format_deux_decimales(quantite, valeurs.separateur_decimal);
    contenu += "\t\r\n";
  }
  return ecrites == lignes_ventes ? contenu : std::string();
}

}  // namespace

void genere_ventes(ValeursProgramme& valeurs, FenetreEchange& fenetre) {
  try {
    std::int32_t n = 0;
    // Unopened, no article is drawn and the journal says so.
    (void)valeurs.caisse.ouvre_articles(n);
    valeurs.nombre_articles = n;
    const std::string nom =
        valeurs.config.nom_mvt + format_aaaammjjhhnnss(valeurs.horloge->maintenant()) + ".txt";
    const std::string contenu = tire_ventes(valeurs, n);
    valeurs.caisse.ferme_articles();
    if (contenu.empty()) {
      fenetre.ajoute_journal(textes::aucun_article_tirable, SorteLigne::erreur);
    } else {
      // A test file for the next cycle; nothing to undo when it is missing.
      const TenueDossiers dossiers(valeurs, fenetre);
      (void)ecrit_entree({dossiers->reception, nom},
                         contenu);  // a test file not written: nothing to undo
    }
  } catch (const std::bad_alloc&) {
    valeurs.caisse.ferme_articles();
  }
  fenetre.rafraichit_File1();
  fenetre.ajoute_journal(textes::ventes_generees);
}

}  // namespace pontex

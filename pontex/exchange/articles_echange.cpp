#include "pontex/exchange/articles_echange.h"

#include "pontex/exchange/texte_mouvements.h"
#include "pontex/shared/horloge.h"

namespace pontex {

bool article_echange(const EnregistrementArticle& article, bool par_reference_alternative,
                     std::string& reference) {
  if (article.marque_echange() != '1' || article.marque_exclusion() != '0') return false;
  if (!par_reference_alternative) {
    reference = sans_espaces(article.code());
    return true;
  }
  reference = sans_espaces(article.reference_alternative());
  return !reference.empty();
}

std::string nom_fichier_erreurs(const ValeursProgramme& v) {
  return "erreurs_" + format_jj_mm_aaaa(v.horloge->maintenant()) + ".err";
}

double tire_aleatoire(ValeursProgramme& v) {
  // mt19937 gives 32 random bits; dividing by 2^32 stays below 1.
  return static_cast<double>(v.aleatoire()) / 4294967296.0;
}

}  // namespace pontex

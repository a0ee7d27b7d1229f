#include "pontex/exchange/articles_echange.h"

#include <filesystem>
#include <system_error>

#include "pontex/exchange/texte_mouvements.h"
#include "pontex/shared/fichiers.h"

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

std::int32_t articles_presents(const Caisse& caisse, std::int32_t n) {
  if (n <= 0) return 0;
  const std::string natif = chemin_natif(caisse.chemin(nom_fichier_articles));
  std::error_code ec;
  const auto taille = std::filesystem::file_size(
      std::filesystem::path(std::u8string(natif.begin(), natif.end())), ec);
  if (ec) return n;
  const auto records = taille / EnregistrementArticle::longueur;
  const auto articles = records > 0 ? records - 1 : 0;  // record 1 is the header
  return articles < static_cast<std::uintmax_t>(n) ? static_cast<std::int32_t>(articles) : n;
}

double tire_aleatoire(ValeursProgramme& v) {
  // mt19937 gives 32 random bits; dividing by 2^32 stays below 1.
  return static_cast<double>(v.aleatoire()) / 4294967296.0;
}

}  // namespace pontex

#include "pontex/exchange/texte_mouvements.h"

#include <cmath>
#include <limits>

#include "pontex/shared/nombres.h"

namespace pontex {

RecordMouvement coupe_record(std::string_view ligne) {
  const auto tab = ligne.find('\t');
  if (tab == std::string_view::npos) return {ligne, {}};
  return {ligne.substr(0, tab), ligne.substr(tab + 1)};
}

std::vector<RecordMouvement> decoupe_records(std::string_view texte) {
  std::vector<RecordMouvement> records;
  std::size_t debut = 0;
  for (std::size_t i = 0; i < texte.size(); ++i) {
    const char c = texte[i];
    if (c != '\n' && c != '\r') continue;
    records.push_back(coupe_record(texte.substr(debut, i - debut)));
    if (c == '\r' && i + 1 < texte.size() && texte[i + 1] == '\n') ++i;
    debut = i + 1;
  }
  return records;
}

std::optional<double> quantite_record(const RecordMouvement& record) {
  const auto q = lit_nombre_sur(record.texte_quantite);
  if (!q || !std::isfinite(*q)) return std::nullopt;
  if (std::fabs(*q) > static_cast<double>(std::numeric_limits<float>::max())) return std::nullopt;
  return q;
}

std::string_view sans_espaces(std::string_view texte) {
  const auto debut = texte.find_first_not_of(' ');
  if (debut == std::string_view::npos) return {};
  const auto fin = texte.find_last_not_of(' ');
  return texte.substr(debut, fin - debut + 1);
}

}  // namespace pontex

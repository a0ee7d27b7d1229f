#include "pontex/exchange/texte_mouvements.h"

#include <cmath>
#include <limits>

#include "pontex/shared/nombres.h"

namespace pontex {

RecordMouvement coupe_record(std::string_view ligne, std::size_t remplace) {
  const auto tab = ligne.find('\t');
  RecordMouvement r;
  r.reference = ligne.substr(0, tab);
  if (tab != std::string_view::npos) r.texte_quantite = ligne.substr(tab + 1);
  r.caractere_remplace = remplace < r.reference.size();
  return r;
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

bool virgule_decimale(const RecordMouvement& record) {
  const std::string_view q = record.texte_quantite;
  std::size_t arret = 0;
  (void)lit_nombre_sur(q, arret);  // only where reading stopped is wanted
  if (arret >= q.size() || q[arret] != ',') return false;
  constexpr std::string_view blancs = " \t\n";
  const auto avant = arret == 0 ? std::string_view::npos : q.find_last_not_of(blancs, arret - 1);
  if (avant == std::string_view::npos || q[avant] < '0' || q[avant] > '9') return false;
  // The decimals, blanks skipped as the reader skips them. Zeros only
  // ("2,00", what the sales generator writes on a French workstation) read
  // as the very number meant.
  for (std::size_t i = arret + 1; i < q.size(); ++i) {
    if (blancs.find(q[i]) != std::string_view::npos) continue;
    if (q[i] < '0' || q[i] > '9') break;
    if (q[i] != '0') return true;
  }
  return false;
}

std::string_view sans_espaces(std::string_view texte) {
  const auto debut = texte.find_first_not_of(' ');
  if (debut == std::string_view::npos) return {};
  const auto fin = texte.find_last_not_of(' ');
  return texte.substr(debut, fin - debut + 1);
}

}  // namespace pontex

#include "pontex/exchange/texte_mouvements.h"

#include <cmath>
#include <limits>
#include <optional>

#include "pontex/exchange/textes_journal.h"
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

namespace {

// The characters the numeric reader skips wherever they stand.
constexpr std::string_view blancs = " \t\n";

bool est_chiffre(char c) { return c >= '0' && c <= '9'; }

// Whether the reader took a digit in `lu`, the text it read (from its first
// character to its last, blanks at both ends left out). After "&H" or "&O"
// it takes only digits of that base, so one was read when the text does not
// end with the prefix's letter; otherwise a sign or a "." alone has no digit.
bool chiffre_lu(std::string_view lu) {
  if (lu.starts_with('&')) {
    const char fin = lu.back();
    return est_chiffre(fin) || (fin >= 'a' && fin <= 'f') || (fin >= 'A' && fin <= 'F');
  }
  return lu.find_first_of("0123456789") != std::string_view::npos;
}

// A comma where the reader stopped, with a decimal other than 0 behind it
// (blanks skipped as the reader skips them).
bool virgule_avec_decimales(std::string_view q, std::size_t arret) {
  if (arret >= q.size() || q[arret] != ',') return false;
  for (std::size_t i = arret + 1; i < q.size(); ++i) {
    if (blancs.find(q[i]) != std::string_view::npos) continue;
    if (!est_chiffre(q[i])) break;
    if (q[i] != '0') return true;
  }
  return false;
}

}  // namespace

QuantiteRecord lit_quantite(const RecordMouvement& record) {
  const std::string_view q = record.texte_quantite;
  const std::size_t debut = q.find_first_not_of(blancs);
  if (debut == std::string_view::npos) return {};
  std::size_t arret = 0;
  const std::optional<double> valeur = lit_nombre_sur(q, arret);
  std::string_view lu = q.substr(debut, arret > debut ? arret - debut : 0);
  lu = lu.substr(0, lu.find_last_not_of(blancs) + 1);  // npos + 1 is 0: nothing read

  QuantiteRecord r;
  if (!chiffre_lu(lu) || lu.find('\t') != std::string_view::npos || !valeur ||
      !std::isfinite(*valeur) ||
      std::fabs(*valeur) > static_cast<double>(std::numeric_limits<float>::max())) {
    r.refus = textes::erreur_quantite;
  } else if (virgule_avec_decimales(q, arret)) {
    r.refus = textes::erreur_virgule;
  } else {
    r.valeur = *valeur;
  }
  return r;
}

}  // namespace pontex

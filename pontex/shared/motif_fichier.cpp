// Name patterns and the order of file lists, the same on every system so
// that a pattern lists the same files on the shop's workstation and here.

#include <algorithm>

#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace interne {

bool egal_sans_casse(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (plie_casse(static_cast<unsigned char>(a[i])) !=
        plie_casse(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool avant_dans_liste(std::string_view a, std::string_view b) {
  const auto plie = [](char c) { return plie_casse(static_cast<unsigned char>(c)); };
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return plie(x) == plie(y); });
  if (ia != a.end() && ib != b.end()) return plie(*ia) < plie(*ib);
  if (ia != a.end() || ib != b.end()) return ib != b.end();  // a prefix comes first
  // Same name ignoring case: exact bytes decide.
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

bool est_motif(std::string_view nom) { return nom.find_first_of("*?") != std::string_view::npos; }

CheminDecoupe decoupe_chemin(std::string_view chemin) {
  std::size_t i = chemin.size();
  while (i > 0 && !est_separateur(chemin[i - 1])) --i;
  CheminDecoupe d;
  d.nom = std::string(chemin.substr(i));
  if (i == 0) return d;
  // Keep a lone root separator ("\x"), drop the one before the name.
  d.dossier = std::string(chemin.substr(0, i == 1 ? 1 : i - 1));
  return d;
}

}  // namespace interne

// Only '*' and '?' are wildcards; every other character, '[' included,
// stands for itself. "*.*" means every name, with or without a dot, as it
// does on the shop's workstation. The match backtracks only to the last '*',
// so a long name against many stars stays quadratic at worst.
bool correspond_motif(std::string_view nom, std::string_view motif) {
  if (motif == "*.*") return true;
  std::size_t n = 0, m = 0;
  std::size_t etoile = std::string_view::npos, reprise = 0;
  while (n < nom.size()) {
    if (m < motif.size() && motif[m] == '*') {
      etoile = m++;
      reprise = n;
    } else if (m < motif.size() &&
               (motif[m] == '?' || interne::plie_casse(static_cast<unsigned char>(motif[m])) ==
                                       interne::plie_casse(static_cast<unsigned char>(nom[n])))) {
      ++n;
      ++m;
    } else if (etoile != std::string_view::npos) {
      m = etoile + 1;
      n = ++reprise;
    } else {
      return false;
    }
  }
  while (m < motif.size() && motif[m] == '*') ++m;
  return m == motif.size();
}

}  // namespace pontex

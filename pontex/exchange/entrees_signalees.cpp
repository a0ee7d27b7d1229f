#include "pontex/exchange/entrees_signalees.h"

#include <charconv>

#include "pontex/shared/octets.h"

namespace pontex {

namespace {

constexpr std::size_t chiffres = 16;
// The day, CR LF, then 16 hex digits and CR LF per entry.
constexpr std::size_t taille_max = 16 + EntreesSignalees::entrees_max * (chiffres + 2);

}  // namespace

void EntreesSignalees::charge(const DossierTenu& courant, const DateHeure& aujourdhui) {
  jour_ = format_aaaa_mm_jj(aujourdhui);
  dits_.clear();
  change_ = false;
  std::string contenu;
  if (!lit_entree({courant, std::string(nom_fichier_signalees)}, 0, taille_max, contenu)) return;
  std::string_view reste = contenu;
  const auto ligne = [&reste]() {
    const std::size_t fin = reste.find("\r\n");
    const std::string_view l = reste.substr(0, fin);
    reste.remove_prefix(fin == std::string_view::npos ? reste.size() : fin + 2);
    return l;
  };
  if (ligne() != jour_) return;  // another day's: everything is said again
  while (!reste.empty()) {
    const std::string_view l = ligne();
    std::uint64_t valeur = 0;
    // A line torn by a stop mid-write is skipped: that entry is said again.
    const auto [fin, erreur] = std::from_chars(l.data(), l.data() + l.size(), valeur, 16);
    if (l.size() == chiffres && erreur == std::errc{} && fin == l.data() + l.size())
      dits_.insert(valeur);
  }
}

bool EntreesSignalees::a_dire(std::string_view texte, std::string_view nom) {
  const std::uint64_t cle = empreinte(nom, empreinte(texte));
  if (dits_.contains(cle)) return false;
  if (dits_.size() < entrees_max) {
    dits_.insert(cle);
    change_ = true;
  }
  return true;
}

void EntreesSignalees::enregistre(const DossierTenu& courant) {
  if (!change_) return;
  std::string contenu = jour_ + "\r\n";
  contenu.reserve(contenu.size() + dits_.size() * (chiffres + 2));
  for (const std::uint64_t cle : dits_) {
    char tampon[chiffres];
    const auto fin = std::to_chars(tampon, tampon + chiffres, cle, 16).ptr;
    contenu.append(chiffres - static_cast<std::size_t>(fin - tampon), '0');
    contenu.append(tampon, fin);
    contenu += "\r\n";
  }
  // Whole or not at all: a reader never finds half a list under the name.
  std::string provisoire;
  if (!ecrit_temporaire(courant, contenu, provisoire)) return;
  if (renomme_entree(courant, provisoire, nom_fichier_signalees)) {
    change_ = false;
    return;
  }
  (void)supprime_entree({courant, provisoire});  // not removable either: a small file, harmless
}

}  // namespace pontex

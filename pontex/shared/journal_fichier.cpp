#include "pontex/shared/journal_fichier.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <utility>

#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_transit.h"

namespace pontex {

namespace {

#ifdef _WIN32
constexpr std::string_view fin_ligne = "\r\n";
#else
constexpr std::string_view fin_ligne = "\n";
#endif

constexpr std::string_view prefixe = "pontex_";
constexpr std::string_view extension = ".log";

bool meme_jour(const DateHeure& a, const DateHeure& b) {
  return a.annee == b.annee && a.mois == b.mois && a.jour == b.jour;
}

bool meme_seconde(const DateHeure& a, const DateHeure& b) {
  return meme_jour(a, b) && a.heure == b.heure && a.minute == b.minute && a.seconde == b.seconde;
}

// The date in a day file's name, "pontex_2026-12-07.log"; false for any
// other name, which the cleaning then leaves alone.
bool date_du_nom(std::string_view nom, std::chrono::sys_days& date) {
  if (nom.size() != prefixe.size() + 10 + extension.size()) return false;
  const std::string_view d = nom.substr(prefixe.size(), 10);
  if (d[4] != '-' || d[7] != '-') return false;
  int a = 0, m = 0, j = 0;
  auto lit = [](std::string_view t, int& v) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
  };
  if (!lit(d.substr(0, 4), a) || !lit(d.substr(5, 2), m) || !lit(d.substr(8, 2), j)) return false;
  const std::chrono::year_month_day ymd{std::chrono::year(a), std::chrono::month(m),
                                        std::chrono::day(j)};
  if (!ymd.ok()) return false;
  date = std::chrono::sys_days(ymd);
  return true;
}

}  // namespace

JournalFichier::JournalFichier(std::string dossier) : dossier_(std::move(dossier)) {}

namespace {

// "pontex_2026-12-07.log"
std::string nom_jour(const DateHeure& d) {
  std::string nom(prefixe);
  nom.append(format_aaaa_mm_jj(d));
  nom.append(extension);
  return nom;
}

}  // namespace

std::string JournalFichier::nom_fichier(const DateHeure& d) const {
  std::string nom = dossier_;
  if (!nom.empty() && nom.back() != '\\') nom.push_back('\\');
  return nom + nom_jour(d);
}

void JournalFichier::ajoute(const DateHeure& quand, std::string_view texte) {
  if (attente_.empty() || !meme_jour(attente_.back().jour, quand)) {
    attente_.push_back(Lot{quand, {}});
    // A batch grows to taille_lot before it is written: room for it at once
    // rather than doubling up to twice that, the whole batch copied each
    // time, while a large import runs. Pages are only taken as lines fill
    // them.
    attente_.back().texte.reserve(taille_lot + marge_lot);
  }
  std::string& lot = attente_.back().texte;
  const std::size_t avant = lot.size();
  if (horodatage_.empty() || !meme_seconde(quand_horodatage_, quand)) {
    quand_horodatage_ = quand;
    horodatage_ = format_horodatage_fichier(quand);
  }
  lot.append(horodatage_);
  lot.append(" - ");
  // A line end inside a message would start a line without a stamp.
  const std::size_t debut_texte = lot.size();
  lot.append(texte);
  if (texte.find('\r') != std::string_view::npos || texte.find('\n') != std::string_view::npos)
    std::replace_if(
        lot.begin() + static_cast<std::ptrdiff_t>(debut_texte), lot.end(),
        [](char c) { return c == '\r' || c == '\n'; }, ' ');
  lot.append(fin_ligne);
  octets_ += lot.size() - avant;
  borne_attente();
}

void JournalFichier::borne_attente() {
  // A journal that cannot be written for a long time must not eat memory:
  // past the bound, the oldest lines go, a whole batch's worth at once so
  // that the cutting stays rare.
  const std::size_t maximum = 8 * taille_lot;
  if (octets_ <= maximum) return;
  const std::size_t garde = maximum - taille_lot;
  while (octets_ > garde && !attente_.empty()) {
    std::string& premier = attente_.front().texte;
    const std::size_t exces = octets_ - garde;
    if (exces >= premier.size()) {
      octets_ -= premier.size();
      attente_.erase(attente_.begin());
      continue;
    }
    // Whole lines only.
    std::size_t coupe = premier.find('\n', exces - 1);
    coupe = coupe == std::string::npos ? premier.size() : coupe + 1;
    premier.erase(0, coupe);
    octets_ -= coupe;
    if (premier.empty()) attente_.erase(attente_.begin());
  }
}

// The journal folder is opened as a folder of its own, never through a link:
// someone who could put a link there would otherwise have Pontex write, and
// its clean-up delete, in a folder of their choosing. A link or a file in
// its place keeps the lines pending and cleans nothing.
bool JournalFichier::ecrit_en_attente() {
  if (attente_.empty()) return true;
  DossierTenu dossier;
  OuvertureDossier ouverture = ouvre_dossier_sans_lien(dossier_, dossier);
  bool refait = false;
  while (!attente_.empty()) {
    Lot& lot = attente_.front();
    const std::string nom = nom_jour(lot.jour);
    if (ouverture != OuvertureDossier::ouvert || !ajoute_entree({dossier, nom}, lot.texte)) {
      // The folder may have gone (or never been made): made again, tried
      // once more; a folder that cannot be written keeps the lines.
      if (refait || ouverture == OuvertureDossier::refuse) return false;
      refait = true;
      (void)cree_dossier(dossier_);  // the write below tells
      ouverture = ouvre_dossier_sans_lien(dossier_, dossier);
      continue;
    }
    octets_ -= lot.texte.size();
    attente_.erase(attente_.begin());
  }
  return true;
}

void JournalFichier::nettoie(const DateHeure& aujourdhui, int jours) {
  DossierTenu dossier;
  const OuvertureDossier ouverture = ouvre_dossier_sans_lien(dossier_, dossier);
  if (ouverture == OuvertureDossier::absent) {
    (void)cree_dossier(dossier_);  // the write below tells
    return;
  }
  if (ouverture != OuvertureDossier::ouvert) return;
  const std::chrono::year_month_day ymd{std::chrono::year(aujourdhui.annee),
                                        std::chrono::month(aujourdhui.mois),
                                        std::chrono::day(aujourdhui.jour)};
  if (!ymd.ok()) return;
  const auto limite = std::chrono::sys_days(ymd) - std::chrono::days(jours);
  std::vector<std::string> noms;
  if (!liste_entrees(dossier, "pontex_*.log", noms)) return;
  for (const std::string& nom : noms) {
    std::chrono::sys_days date;
    // A file that cannot be removed now is tried again at the next start.
    if (date_du_nom(nom, date) && date < limite) (void)supprime_entree({dossier, nom});
  }
}

}  // namespace pontex

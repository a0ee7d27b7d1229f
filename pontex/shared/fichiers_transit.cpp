// The part of the transit folder's file rules that is the same on every
// system: what counts as one name, which folder a path's last name is, and
// which files are our own leftovers.

#include "pontex/shared/fichiers_transit.h"

#include <utility>

#include "pontex/shared/fichiers_transit_interne.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

DossierTenu::DossierTenu(DossierTenu&& autre) noexcept
    : natif_(std::exchange(autre.natif_, ferme_)), chemin_(std::move(autre.chemin_)) {}

DossierTenu& DossierTenu::operator=(DossierTenu&& autre) noexcept {
  if (this != &autre) {
    ferme();
    natif_ = std::exchange(autre.natif_, ferme_);
    chemin_ = std::move(autre.chemin_);
  }
  return *this;
}

void DossierTenu::prend(std::intptr_t natif, std::string chemin) {
  ferme();
  natif_ = natif;
  chemin_ = std::move(chemin);
  if (!chemin_.empty() && !interne::est_separateur(chemin_.back())) chemin_.push_back('\\');
}

OuvertureDossier ouvre_dossier_sans_lien(std::string_view chemin, DossierTenu& dossier) {
  std::string_view reste = chemin;
  while (!reste.empty() && interne::est_separateur(reste.back())) reste.remove_suffix(1);
  std::size_t coupe = reste.size();
  while (coupe > 0 && !interne::est_separateur(reste[coupe - 1])) --coupe;
  const std::string_view nom = reste.substr(coupe);
  // A drive or the root alone has no last name to hold apart.
  if (nom.empty() || nom.find(':') != std::string_view::npos) return ouvre_dossier(chemin, dossier);
  DossierTenu parent;
  if (const OuvertureDossier o = ouvre_dossier(reste.substr(0, coupe), parent);
      o != OuvertureDossier::ouvert)
    return o;
  return ouvre_sous_dossier(parent, nom, dossier);
}

bool nom_temporaire_pontex(std::string_view nom) {
  constexpr std::string_view debut = "pontex-", fin = ".tmp";
  constexpr std::size_t chiffres = 16;
  if (nom.size() != debut.size() + chiffres + fin.size() || !nom.starts_with(debut) ||
      !nom.ends_with(fin))
    return false;
  for (const char c : nom.substr(debut.size(), chiffres)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

void supprime_temporaires(const DossierTenu& dossier) {
  std::vector<std::string> noms;
  // The listing ignores case; our names are written in lower case, and a
  // name merely like ours belongs to someone else.
  if (!liste_entrees(dossier, "pontex-*.tmp", noms)) return;
  for (const std::string& nom : noms) {
    // Ours are plain files; a link under such a name is not ours either.
    // One that cannot be removed now goes at the next start.
    if (nom_temporaire_pontex(nom) && taille_entree({dossier, nom}))
      (void)supprime_entree(
          {dossier, nom});  // best effort: a stray temporary is removed at the next start
  }
}

bool nom_simple(std::string_view nom) {
  if (nom.empty() || nom == "." || nom == "..") return false;
  for (std::size_t i = 0; i < nom.size(); ++i) {
    const char c = nom[i];
    const auto u = static_cast<unsigned char>(c);
#ifndef _WIN32
    // A byte of a Linux name that has no Windows-1252 form, as the listing
    // writes it: one byte of the name, never a folder separator. A
    // backslash of the name itself ("\x5c") is refused like a bare one, and
    // on Windows a backslash always separates folders.
    if (interne::octet_echappe(nom, i) >= 0x80) {
      i += 3;
      continue;
    }
#endif
    if (u < 0x20 || u == 0x7F) return false;
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|':
        return false;
      default:
        break;
    }
  }
  return nom.back() != '.' && nom.back() != ' ';
}

namespace interne {

std::string chemin_entree(std::string_view dossier, std::string_view nom) {
  std::string r(dossier);
  if (!r.empty() && r.back() != '\\' && r.back() != '/') r.push_back('\\');
  r.append(nom);
  return r;
}

std::string nom_temporaire(std::uint64_t alea) {
  static constexpr char chiffres[] = "0123456789abcdef";
  std::string nom = "pontex-";
  for (int i = 60; i >= 0; i -= 4) nom.push_back(chiffres[(alea >> i) & 0xF]);
  nom += ".tmp";
  return nom;
}

}  // namespace interne

}  // namespace pontex

// The transit folder's file rules, the same on every system: what counts as
// one name, bounded and all-or-nothing copies, files written under a
// temporary name, links replaced rather than followed, the test hook, which
// files are our own leftovers. The system calls under them are in
// fichiers_transit_posix.cpp / _win32.cpp.

#include "pontex/shared/fichiers_transit.h"

#include <utility>

#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

using interne::CodeSysteme;
using interne::echec_code;
using interne::EntreeNative;
using interne::Natif;

// The path the test hook and the messages give an entry: folder,
// backslash, name.
std::string chemin_entree(std::string_view dossier, std::string_view nom) {
  std::string r(dossier);
  if (!r.empty() && r.back() != '\\' && r.back() != '/') r.push_back('\\');
  r.append(nom);
  return r;
}

// "pontex-" + 16 hex digits of `alea` + ".tmp".
std::string nom_temporaire(std::uint64_t alea) {
  static constexpr char chiffres[] = "0123456789abcdef";
  std::string nom = "pontex-";
  for (int i = 60; i >= 0; i -= 4) nom.push_back(chiffres[(alea >> i) & 0xF]);
  nom += ".tmp";
  return nom;
}

// How many names to try when a temporary name is already taken (by chance
// or by someone who saw the folder): each try draws a new one.
constexpr int essais_temporaire = 16;

Resultat echec_injection(const std::string& chemin) {
  return Resultat::echec("failure injected for " + chemin);
}

Resultat echec_systeme(const char* quoi, const std::string& chemin) {
  return echec_code(quoi, chemin, interne::derniere_erreur());
}

// The folder of a held DossierTenu, for messages.
std::string texte_dossier(const DossierTenu& d) {
  return d.chemin().empty() ? std::string(".") : d.chemin();
}

// Hook, name and folder checks, then the entry as the system reaches it.
Resultat ouvre_entree(Operation operation, const Emplacement& e, EntreeNative& entree) {
  entree.chemin = chemin_entree(e.dossier.chemin(), e.nom);
  if (interne::echec_injecte(operation, entree.chemin)) return echec_injection(entree.chemin);
  if (!nom_simple(e.nom)) return Resultat::echec("not a single file name: " + entree.chemin);
  if (!e.dossier.ouvert()) return Resultat::echec("folder not held: " + entree.chemin);
  return interne::resout_entree(e.dossier, e.nom, true, entree);
}

// A new file of the folder under an unpredictable name, created exclusively:
// a link or file someone put under that name makes it try another name.
bool cree_temporaire(const DossierTenu& dossier, EntreeNative& temporaire, std::string& nom,
                     Natif& f, CodeSysteme& code) {
  for (int essai = 0; essai < essais_temporaire; ++essai) {
    nom = nom_temporaire(interne::alea());
    temporaire.chemin = chemin_entree(dossier.chemin(), nom);
    if (Resultat r = interne::resout_entree(dossier, nom, false, temporaire); !r) return false;
    bool deja_pris = false;
    if (interne::cree_exclusif(temporaire, f, code, deja_pris)) return true;
    if (!deja_pris) return false;
  }
  return false;
}

// The opened entry is a plain file; `taille` receives its size.
bool fichier_simple(const Natif& f, std::uint64_t& taille) {
  bool simple = false;
  CodeSysteme code = 0;
  return interne::etat_ouvert(f.get(), simple, taille, code) && simple;
}

// Opens an existing entry that must be a plain file; `taille` receives its
// size. A failed opening leaves the system's code in `code`.
Resultat ouvre_fichier(const EntreeNative& e, interne::Acces acces, Natif& f, std::uint64_t& taille,
                       CodeSysteme& code) {
  if (!interne::ouvre_existant(e, acces, f, code)) return echec_code("open", e.chemin, code);
  if (!fichier_simple(f, taille)) return Resultat::echec(e.chemin + " is not a file");
  return Resultat::succes();
}

// Reads up to `n` bytes from byte `position`: fewer only at the end of the
// file. False on a failure, `code` set.
bool lit_depuis(const Natif& f, char* p, std::size_t n, std::int64_t position, std::size_t& lus,
                CodeSysteme& code) {
  lus = 0;
  while (lus < n) {
    const std::int64_t r =
        interne::lit_a(f.get(), p + lus, n - lus, position + static_cast<std::int64_t>(lus), code);
    if (r == interne::transfert_repris) continue;
    if (r < 0) return false;
    if (r == 0) break;
    lus += static_cast<std::size_t>(r);
  }
  return true;
}

// One destination of a copy: its entry, its temporary file while written.
struct Cible {
  EntreeNative entree;
  Natif fichier;
  EntreeNative temporaire;
  bool temporaire_cree = false;
};

// The destinations of one copy, each written into a temporary beside it
// and put under its name at the end. A temporary not put in place (a copy
// given up) is removed when this goes; one a crash leaves behind is removed
// at the next start.
class CiblesCopie {
 public:
  explicit CiblesCopie(const std::vector<Emplacement>& destinations)
      : destinations_(destinations), cibles_(destinations.size()) {}
  ~CiblesCopie() {
    for (Cible& c : cibles_) {
      (void)c.fichier.ferme();  // given up: what it held is removed below
      CodeSysteme ignore = 0;
      if (c.temporaire_cree) (void)interne::supprime_natif(c.temporaire, ignore);
    }
  }
  CiblesCopie(const CiblesCopie&) = delete;
  CiblesCopie& operator=(const CiblesCopie&) = delete;

  Resultat ouvre() {
    CodeSysteme code = 0;
    for (std::size_t i = 0; i < cibles_.size(); ++i) {
      Cible& c = cibles_[i];
      if (Resultat r = ouvre_entree(Operation::copie, destinations_[i], c.entree); !r) return r;
      std::string nom;
      if (!cree_temporaire(destinations_[i].dossier, c.temporaire, nom, c.fichier, code))
        return echec_code("create temporary in", texte_dossier(destinations_[i].dossier), code);
      c.temporaire_cree = true;
    }
    return Resultat::succes();
  }

  Resultat ecrit(const char* p, std::size_t n) {
    for (Cible& c : cibles_) {
      if (!interne::ecrit_suite(c.fichier.get(), p, n))
        return echec_systeme("write", c.entree.chemin);
    }
    return Resultat::succes();
  }

  // Each copy under its name. The rename replaces whatever stands there, a
  // link included, without following it.
  Resultat met_en_place() {
    for (Cible& c : cibles_) {
      if (!c.fichier.ferme()) return echec_systeme("close", c.entree.chemin);
    }
    CodeSysteme code = 0;
    for (Cible& c : cibles_) {
      if (!interne::renomme_natif(c.temporaire, c.entree, code))
        return echec_code("rename", c.entree.chemin, code);
      c.temporaire_cree = false;
    }
    return Resultat::succes();
  }

 private:
  const std::vector<Emplacement>& destinations_;
  std::vector<Cible> cibles_;
};

// Opens the source of a copy, which must be a plain file within the bound.
Resultat ouvre_source(const Emplacement& source, std::uint64_t taille_max, Refus& refus,
                      EntreeNative& src, Natif& in) {
  if (!nom_simple(source.nom)) {
    refus = Refus::pas_un_fichier;
    return Resultat::echec("not a single file name: " + source.nom);
  }
  if (Resultat r = ouvre_entree(Operation::copie, source, src); !r) return r;
  CodeSysteme code = 0;
  if (!interne::ouvre_existant(src, interne::Acces::lecture, in, code)) {
    if (interne::lien_ou_dossier(src, code)) refus = Refus::pas_un_fichier;
    return echec_code("open", src.chemin, code);
  }
  bool simple = false;
  std::uint64_t taille = 0;
  if (!interne::etat_ouvert(in.get(), simple, taille, code))
    return echec_code("stat", src.chemin, code);
  if (!simple) {
    refus = Refus::pas_un_fichier;
    return Resultat::echec(src.chemin + " is not a file");
  }
  if (taille > taille_max) {
    refus = Refus::trop_volumineux;
    return Resultat::echec(src.chemin + " is too large");
  }
  return Resultat::succes();
}

}  // namespace

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

void DossierTenu::ferme() {
  // A folder has nothing of ours left to write at its close.
  if (ouvert()) (void)interne::ferme_natif(natif_);
  natif_ = ferme_;
}

OuvertureDossier ouvre_dossier(std::string_view chemin, DossierTenu& dossier) {
  dossier.ferme();
  std::intptr_t natif = interne::natif_aucun;
  const OuvertureDossier o = interne::ouvre_dossier_natif(chemin, natif);
  if (o == OuvertureDossier::ouvert) dossier.prend(natif, std::string(chemin));
  return o;
}

OuvertureDossier ouvre_sous_dossier(const DossierTenu& parent, std::string_view nom,
                                    DossierTenu& dossier) {
  dossier.ferme();
  if (!parent.ouvert()) return OuvertureDossier::echec;
  if (!nom_simple(nom)) return OuvertureDossier::refuse;
  std::intptr_t natif = interne::natif_aucun;
  const OuvertureDossier o = interne::ouvre_sous_dossier_natif(parent, nom, natif);
  if (o == OuvertureDossier::ouvert) dossier.prend(natif, chemin_entree(parent.chemin(), nom));
  return o;
}

Resultat copie_entree(const Emplacement& source, const std::vector<Emplacement>& destinations,
                      std::uint64_t taille_max, Refus& refus,
                      const std::function<void(std::string_view)>& vu) {
  refus = Refus::aucun;
  EntreeNative src;
  Natif in;
  if (Resultat r = ouvre_source(source, taille_max, refus, src, in); !r) return r;
  CiblesCopie cibles(destinations);
  if (Resultat r = cibles.ouvre(); !r) return r;
  // The size seen above may grow while the file is read (the server still
  // writing it): the bound holds on what is read, too.
  std::uint64_t total = 0;
  char tampon[64 * 1024];
  for (;;) {
    std::size_t n = 0;
    CodeSysteme code = 0;
    if (!lit_depuis(in, tampon, sizeof tampon, static_cast<std::int64_t>(total), n, code))
      return echec_code("read", src.chemin, code);
    if (n == 0) break;
    total += n;
    if (total > taille_max) {
      refus = Refus::trop_volumineux;
      return Resultat::echec(src.chemin + " is too large");
    }
    if (Resultat r = cibles.ecrit(tampon, n); !r) return r;
    if (vu) vu(std::string_view(tampon, n));
  }
  return cibles.met_en_place();
}

Resultat ecrit_temporaire(const DossierTenu& dossier, std::string_view contenu,
                          std::string& nom_temporaire) {
  nom_temporaire.clear();
  const std::string chemin = chemin_entree(dossier.chemin(), "*.tmp");
  if (interne::echec_injecte(Operation::ecriture, chemin)) return echec_injection(chemin);
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + chemin);
  EntreeNative temporaire;
  std::string nom;
  Natif f;
  CodeSysteme code = 0;
  if (!cree_temporaire(dossier, temporaire, nom, f, code))
    return echec_code("create temporary in", texte_dossier(dossier), code);
  if (interne::ecrit_suite(f.get(), contenu.data(), contenu.size()) && f.ferme()) {
    nom_temporaire = nom;
    return Resultat::succes();
  }
  code = interne::derniere_erreur();
  (void)f.ferme();  // failed already
  CodeSysteme ignore = 0;
  (void)interne::supprime_natif(temporaire, ignore);  // a leftover goes at the next start
  return echec_code("write", temporaire.chemin, code);
}

Resultat renomme_entree(const DossierTenu& dossier, std::string_view ancien,
                        std::string_view nouveau) {
  EntreeNative vers;
  if (Resultat r = ouvre_entree(Operation::renommage, {dossier, std::string(nouveau)}, vers); !r)
    return r;
  if (!nom_simple(ancien)) return Resultat::echec("not a single file name: " + std::string(ancien));
  EntreeNative de;
  if (Resultat r = interne::resout_entree(dossier, ancien, true, de); !r) return r;
  CodeSysteme code = 0;
  if (!interne::renomme_natif(de, vers, code))
    return echec_code("rename", chemin_entree(dossier.chemin(), ancien), code);
  return Resultat::succes();
}

Resultat ecrit_entree(const Emplacement& fichier, std::string_view contenu) {
  EntreeNative e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Natif f;
  if (Resultat r = interne::ouvre_ecriture(e, interne::Ecriture::remplace, f); !r) return r;
  if (interne::ecrit_suite(f.get(), contenu.data(), contenu.size()) && f.ferme())
    return Resultat::succes();
  // Cut short (full disk): removed rather than read later as a whole file.
  CodeSysteme code = interne::derniere_erreur();
  (void)f.ferme();  // failed already
  CodeSysteme ignore = 0;
  (void)interne::supprime_natif(e, ignore);  // not removable: the write's failure is what counts
  return echec_code("write", e.chemin, code);
}

Resultat ajoute_entree(const Emplacement& fichier, std::string_view contenu) {
  EntreeNative e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Natif f;
  if (Resultat r = interne::ouvre_ecriture(e, interne::Ecriture::ajoute, f); !r) return r;
  if (interne::ecrit_suite(f.get(), contenu.data(), contenu.size()) && f.ferme())
    return Resultat::succes();
  return echec_systeme("write", e.chemin);
}

Resultat verifie_ajout(const Emplacement& fichier) {
  EntreeNative e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  interne::Genre g = interne::Genre::absent;
  CodeSysteme code = 0;
  if (!interne::genre(e, g, code)) return echec_code("stat", e.chemin, code);
  if (g == interne::Genre::autre) {
    Natif f;
    return interne::ouvre_ecriture(e, interne::Ecriture::ajoute_existant, f);
  }
  if (g == interne::Genre::lien && !interne::supprime_lien(e, code))
    return echec_code("unlink", e.chemin, code);
  // Missing: the folder must let us create it. Created and removed at once,
  // so the server sees no empty error file on a day without errors.
  Natif f;
  bool deja_pris = false;
  if (!interne::cree_exclusif(e, f, code, deja_pris)) return echec_code("create", e.chemin, code);
  (void)f.ferme();                         // empty: nothing to lose
  (void)interne::supprime_natif(e, code);  // left: an empty error file, harmless
  return Resultat::succes();
}

Resultat supprime_entree(const Emplacement& fichier) {
  EntreeNative e;
  if (Resultat r = ouvre_entree(Operation::suppression, fichier, e); !r) return r;
  CodeSysteme code = 0;
  if (!interne::supprime_natif(e, code)) return echec_code("delete", e.chemin, code);
  return Resultat::succes();
}

Resultat liste_entrees(const DossierTenu& dossier, std::string_view motif,
                       std::vector<std::string>& noms) {
  noms.clear();
  const std::string chemin = texte_dossier(dossier);
  if (interne::echec_injecte(Operation::listage, dossier.chemin())) return echec_injection(chemin);
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + chemin);
  CodeSysteme code = 0;
  if (!interne::liste_noms(dossier, motif, noms, code)) return echec_code("list", chemin, code);
  return Resultat::succes();
}

std::optional<std::int64_t> taille_entree(const Emplacement& fichier) {
  EntreeNative e;
  std::int64_t taille = 0;
  std::chrono::nanoseconds date{};
  if (!ouvre_entree(Operation::lecture, fichier, e) || !interne::etat_entree(e, taille, date))
    return std::nullopt;
  return taille;
}

std::optional<std::chrono::nanoseconds> date_entree(const Emplacement& fichier) {
  EntreeNative e;
  std::int64_t taille = 0;
  std::chrono::nanoseconds date{};
  if (!ouvre_entree(Operation::lecture, fichier, e) || !interne::etat_entree(e, taille, date))
    return std::nullopt;
  return date;
}

Resultat lit_entree(const Emplacement& fichier, std::int64_t position, std::size_t n,
                    std::string& octets) {
  octets.clear();
  EntreeNative e;
  if (Resultat r = ouvre_entree(Operation::lecture, fichier, e); !r) return r;
  Natif f;
  CodeSysteme code = 0;
  std::uint64_t taille = 0;
  if (Resultat r = ouvre_fichier(e, interne::Acces::lecture, f, taille, code); !r) return r;
  octets.resize(n);
  std::size_t lus = 0;
  if (!lit_depuis(f, octets.data(), n, position, lus, code)) {
    octets.clear();
    return echec_code("read", e.chemin, code);
  }
  octets.resize(lus);
  return Resultat::succes();
}

Resultat retire_ajout_coupe(const Emplacement& fichier, std::int64_t taille,
                            std::string_view ligne) {
  EntreeNative e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Natif f;
  CodeSysteme code = 0;
  std::uint64_t octets = 0;
  // No file: no line cut short in it.
  if (Resultat r = ouvre_fichier(e, interne::Acces::modification, f, octets, code); !r)
    return interne::absent(code) ? Resultat::succes() : r;
  const auto actuelle = static_cast<std::int64_t>(octets);
  const auto longueur = static_cast<std::int64_t>(ligne.size());
  if (taille < 0 || actuelle <= taille || actuelle >= taille + longueur) return Resultat::succes();
  std::string fin(static_cast<std::size_t>(actuelle - taille), '\0');
  std::size_t lus = 0;
  if (!lit_depuis(f, fin.data(), fin.size(), taille, lus, code))
    return echec_code("read", e.chemin, code);
  if (lus != fin.size()) return Resultat::echec("read " + e.chemin + ": cut short");
  if (!ligne.starts_with(fin)) return Resultat::succes();
  if (!interne::coupe_a(f.get(), taille, code)) return echec_code("cut", e.chemin, code);
  return Resultat::succes();
}

Resultat synchronise_entree(const Emplacement& fichier) {
  EntreeNative e;
  if (Resultat r = ouvre_entree(Operation::synchronisation, fichier, e); !r) return r;
  Natif f;
  CodeSysteme code = 0;
  std::uint64_t taille = 0;
  if (Resultat r = ouvre_fichier(e, interne::Acces::vidage, f, taille, code); !r) return r;
  if (!interne::synchronise_natif(f.get(), code)) return echec_code("flush", e.chemin, code);
  return Resultat::succes();
}

Resultat synchronise_dossier(const DossierTenu& dossier) {
  if (interne::echec_injecte(Operation::synchronisation, dossier.chemin()))
    return echec_injection(dossier.chemin());
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + dossier.chemin());
  return interne::synchronise_dossier_natif(dossier);
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

}  // namespace pontex

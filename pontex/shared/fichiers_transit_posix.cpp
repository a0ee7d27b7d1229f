// Transit folder files on Linux: the system calls under fichiers_transit.cpp.
// The folder is held open as a descriptor and every entry reached relative
// to it with openat(), O_NOFOLLOW and a check of the opened handle, so
// neither a link nor a name holding a path can lead outside the folder, and
// a folder name swapped afterwards changes nothing.

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex::interne {

namespace {

// O_NONBLOCK: a pipe or a device put where a file is expected must give a
// refusal, never a program waiting forever in open().
constexpr int sans_lien = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;

// O_NONBLOCK: a pipe under a folder's name is refused by O_DIRECTORY before
// any wait for a writer; this keeps it so whatever the kernel checks first.
constexpr int dossier_lu = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;

int descripteur(const DossierTenu& d) { return static_cast<int>(d.natif()); }

CodeSysteme erreur() { return static_cast<CodeSysteme>(errno); }

// What a failed open of a folder says about it.
OuvertureDossier ouverture_ratee(int code) {
  switch (code) {
    case ENOENT:
      return OuvertureDossier::absent;
    case ELOOP:    // O_NOFOLLOW met a link
    case ENOTDIR:  // a file, a pipe, a device
      return OuvertureDossier::refuse;
    default:
      return OuvertureDossier::echec;
  }
}

bool ouvre(const EntreeNative& e, int drapeaux, Natif& f, CodeSysteme& code) {
  f = Natif(::openat(e.dossier, e.nom.c_str(), drapeaux, 0666));
  if (!f.ok()) code = erreur();
  return f.ok();
}

}  // namespace

Resultat resout_entree(const DossierTenu& dossier, std::string_view nom, bool existant,
                       EntreeNative& e) {
  e.dossier = descripteur(dossier);
  e.nom = existant ? resout_nom(e.dossier, nom) : std::string(nom);
  return Resultat::succes();
}

OuvertureDossier ouvre_dossier_natif(std::string_view chemin, std::intptr_t& natif) {
  auto chemin_natif = resout_chemin(chemin);
  if (!chemin_natif) return OuvertureDossier::echec;
  const int fd = ::open(chemin_natif->c_str(), dossier_lu);
  if (fd < 0) return ouverture_ratee(errno);
  natif = fd;
  return OuvertureDossier::ouvert;
}

OuvertureDossier ouvre_sous_dossier_natif(const DossierTenu& parent, std::string_view nom,
                                          std::intptr_t& natif) {
  const int p = descripteur(parent);
  const std::string sur_disque = resout_nom(p, nom, true);
  const int fd = ::openat(p, sur_disque.c_str(), dossier_lu | O_NOFOLLOW);
  if (fd < 0) return ouverture_ratee(errno);
  natif = fd;
  return OuvertureDossier::ouvert;
}

Resultat synchronise_dossier_natif(const DossierTenu& dossier) {
  if (::fsync(descripteur(dossier)) == 0) return Resultat::succes();
  const int code = errno;
  // Some shares and mounted file systems cannot flush a folder at all and
  // say so: there is nothing more to wait for, as on Windows. A failed
  // write (EIO, a full disk) is a failure.
  if (code == EINVAL || code == EOPNOTSUPP) return Resultat::succes();
  return echec_code("flush folder", dossier.chemin().empty() ? "." : dossier.chemin(),
                    static_cast<CodeSysteme>(code));
}

bool ouvre_existant(const EntreeNative& e, Acces acces, Natif& f, CodeSysteme& code) {
  return ouvre(e, (acces == Acces::modification ? O_RDWR : O_RDONLY) | sans_lien, f, code);
}

bool absent(CodeSysteme code) { return code == ENOENT; }

bool lien_ou_dossier(const EntreeNative&, CodeSysteme code) {
  // A folder opens for reading; it is refused once opened, by its type.
  return code == ELOOP;
}

bool cree_exclusif(const EntreeNative& e, Natif& f, CodeSysteme& code, bool& deja_pris) {
  const bool ok = ouvre(e, O_WRONLY | O_CREAT | O_EXCL | sans_lien, f, code);
  deja_pris = !ok && code == EEXIST;
  return ok;
}

Resultat ouvre_ecriture(const EntreeNative& e, Ecriture mode, Natif& f) {
  const int drapeaux = mode == Ecriture::remplace ? O_CREAT | O_TRUNC
                       : mode == Ecriture::ajoute ? O_CREAT | O_APPEND
                                                  : O_APPEND;
  CodeSysteme code = 0;
  for (int essai = 0; essai < 2; ++essai) {
    if (ouvre(e, O_WRONLY | drapeaux | sans_lien, f, code)) break;
    if (code != ELOOP) return echec_code("open", e.chemin, code);
    if (::unlinkat(e.dossier, e.nom.c_str(), 0) != 0)
      return echec_code("unlink", e.chemin, erreur());
  }
  if (!f.ok()) return Resultat::echec("cannot replace link " + e.chemin);
  struct stat st;
  if (::fstat(static_cast<int>(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    f = Natif();
    return Resultat::echec(e.chemin + " is not a file");
  }
  return Resultat::succes();
}

bool ecrit_suite(std::intptr_t natif, const char* p, std::size_t n) {
  return ecrit_tout(static_cast<int>(natif), p, n);
}

bool coupe_a(std::intptr_t natif, std::int64_t taille, CodeSysteme& code) {
  if (::ftruncate(static_cast<int>(natif), static_cast<off_t>(taille)) == 0) return true;
  code = erreur();
  return false;
}

bool genre(const EntreeNative& e, Genre& g, CodeSysteme& code) {
  struct stat st;
  if (::fstatat(e.dossier, e.nom.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    g = S_ISLNK(st.st_mode) ? Genre::lien : Genre::autre;
    return true;
  }
  code = erreur();
  g = Genre::absent;
  return code == ENOENT;
}

bool etat_ouvert(std::intptr_t natif, bool& simple, std::uint64_t& taille, CodeSysteme& code) {
  struct stat st;
  if (::fstat(static_cast<int>(natif), &st) != 0) {
    code = erreur();
    return false;
  }
  simple = S_ISREG(st.st_mode);
  taille = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool etat_entree(const EntreeNative& e, std::int64_t& taille, std::chrono::nanoseconds& date) {
  struct stat st;
  if (::fstatat(e.dossier, e.nom.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
    return false;
  taille = static_cast<std::int64_t>(st.st_size);
  date = std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
  return true;
}

bool renomme_natif(const EntreeNative& de, const EntreeNative& vers, CodeSysteme& code) {
  if (::renameat(de.dossier, de.nom.c_str(), vers.dossier, vers.nom.c_str()) == 0) return true;
  code = erreur();
  return false;
}

bool supprime_natif(const EntreeNative& e, CodeSysteme& code) {
  if (::unlinkat(e.dossier, e.nom.c_str(), 0) == 0) return true;
  code = erreur();
  return false;
}

bool supprime_lien(const EntreeNative& e, CodeSysteme& code) { return supprime_natif(e, code); }

bool liste_noms(const DossierTenu& dossier, std::string_view motif, std::vector<std::string>& noms,
                CodeSysteme& code) {
  std::vector<Entree> entrees;
  int erreur_liste = 0;
  if (!liste_natif(descripteur(dossier), motif, entrees, erreur_liste)) {
    code = static_cast<CodeSysteme>(erreur_liste);
    return false;
  }
  noms.reserve(entrees.size());
  for (auto& e : entrees) noms.push_back(std::move(e.nom_1252));
  return true;
}

std::uint64_t alea() {
  std::uint64_t v = 0;
  if (::getrandom(&v, sizeof v, 0) == static_cast<ssize_t>(sizeof v)) return v;
  std::random_device source;
  return (static_cast<std::uint64_t>(source()) << 32) ^ source();
}

}  // namespace pontex::interne

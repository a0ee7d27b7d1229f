// Path operations on Linux: the system calls under fichiers.cpp. Paths
// arrive Windows-style in Windows-1252 and are resolved by chemins_posix.cpp.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

std::string chemin_natif(std::string_view chemin) {
  return interne::resout_chemin(chemin).value_or("");
}

namespace interne {

namespace {

// O_NONBLOCK: a named pipe or a device left where a file is expected must
// give a failed step, never a program that waits forever in open() or
// read(). It changes nothing for plain files.
constexpr int drapeaux = O_CLOEXEC | O_NONBLOCK;

bool rate(CodeSysteme& code) {
  code = static_cast<CodeSysteme>(errno);
  return false;
}

bool etat(const CheminNatif& c, struct stat& st) { return ::stat(c.natif.c_str(), &st) == 0; }

}  // namespace

bool resout_natif(std::string_view chemin, CheminNatif& c) {
  auto r = resout_chemin(chemin);
  if (!r) return false;
  c.natif = std::move(*r);
  c.montre = c.natif;
  return true;
}

bool ouvre_chemin(const CheminNatif& c, Usage usage, Natif& f, CodeSysteme& code) {
  const int d = usage == Usage::lecture
                    ? ::open(c.natif.c_str(), O_RDONLY | drapeaux)
                    : ::open(c.natif.c_str(), O_WRONLY | O_CREAT | drapeaux, 0666);
  if (d < 0) return rate(code);
  f = Natif(d);
  return true;
}

bool meme_fichier(std::intptr_t a, std::intptr_t b) {
  struct stat sa, sb;
  return ::fstat(static_cast<int>(a), &sa) == 0 && ::fstat(static_cast<int>(b), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A name beginning with "." is hidden, as in a file list box.
bool fichier_visible(const CheminNatif& c) {
  const std::size_t barre = c.natif.rfind('/');
  const std::size_t debut = barre == std::string::npos ? 0 : barre + 1;
  struct stat st;
  return c.natif.compare(debut, 1, ".") != 0 && etat(c, st) && S_ISREG(st.st_mode);
}

bool est_dossier(const CheminNatif& c) {
  struct stat st;
  return etat(c, st) && S_ISDIR(st.st_mode);
}

bool existe_natif(const CheminNatif& c) {
  struct stat st;
  return ::lstat(c.natif.c_str(), &st) == 0;
}

bool taille_chemin(const CheminNatif& c, std::int64_t& taille) {
  struct stat st;
  if (::lstat(c.natif.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  taille = static_cast<std::int64_t>(st.st_size);
  return true;
}

bool liste_chemin(const CheminNatif& dossier, std::string_view motif,
                  std::vector<std::string>& noms, std::vector<CheminNatif>& chemins,
                  CodeSysteme& code) {
  std::vector<Entree> entrees;
  int erreur = 0;
  if (!liste_natif(dossier.natif, motif, entrees, erreur)) {
    code = static_cast<CodeSysteme>(erreur);
    return false;
  }
  for (auto& e : entrees) {
    const std::string f = joint_chemin(dossier.natif, e.nom_utf8);
    chemins.push_back(CheminNatif{f, f});
    noms.push_back(std::move(e.nom_1252));
  }
  return true;
}

bool renomme_chemin(const CheminNatif& de, const CheminNatif& vers, std::string_view nouveau,
                    CodeSysteme& code) {
  // A new name that differs only by case resolves to the file itself: then
  // the name is changed as written, as the workstation would.
  std::string cible = vers.natif;
  struct stat a, b;
  if (etat(de, a) && etat(vers, b) && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
    cible = joint_chemin(decoupe_chemin(vers.natif).dossier,
                         utf8_depuis_1252(decoupe_chemin(nouveau).nom));
  return ::rename(de.natif.c_str(), cible.c_str()) == 0 || rate(code);
}

bool supprime_chemin(const CheminNatif& c, CodeSysteme& code) {
  return ::unlink(c.natif.c_str()) == 0 || rate(code);
}

bool cree_dossier_chemin(const CheminNatif& c, CodeSysteme& code) {
  return ::mkdir(c.natif.c_str(), 0777) == 0 || rate(code);
}

Resultat synchronise_chemin(const CheminNatif& dossier) {
  const std::string natif = dossier.natif.empty() ? std::string(".") : dossier.natif;
  Natif fd(::open(natif.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.ok()) return echec_code("open folder", natif, derniere_erreur());
  if (::fsync(static_cast<int>(fd.get())) != 0)
    return echec_code("flush folder", natif, derniere_erreur());
  return Resultat::succes();
}

bool ecrit_tout(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace interne

}  // namespace pontex

// File operations on Linux. Paths arrive Windows-style in Windows-1252 and
// are resolved by chemins_posix.cpp; every operation asks the test hook
// first, then works with plain system calls and keeps nothing open.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

using interne::echec_injecte;
using interne::ecrit_tout;
using interne::resout_chemin;

// O_NONBLOCK: a named pipe or a device left where a file is expected must
// give a failed step, never a program that waits forever in open() or
// read(). It changes nothing for plain files.
constexpr int drapeaux = O_CLOEXEC | O_NONBLOCK;

Resultat echec_errno(const char* quoi, const std::string& chemin, int erreur = errno) {
  return Resultat::echec(std::string(quoi) + " " + chemin + ": " + std::strerror(erreur));
}

Resultat echec_injection(std::string_view chemin) {
  return Resultat::echec("failure injected for " + std::string(chemin));
}

// Hook, then path resolution. `natif` receives the Linux path.
Resultat prepare(Operation operation, std::string_view chemin, std::string& natif) {
  if (echec_injecte(operation, chemin)) return echec_injection(chemin);
  auto r = resout_chemin(chemin);
  if (!r) return Resultat::echec("path holds a NUL byte");
  natif = std::move(*r);
  return Resultat::succes();
}

class Descripteur {
 public:
  explicit Descripteur(int fd) : fd_(fd) {}
  ~Descripteur() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descripteur(const Descripteur&) = delete;
  Descripteur& operator=(const Descripteur&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // close() reports a delayed write error (a full disk on some file
  // systems); a text or a copy that did not reach the disk is a failure.
  bool ferme() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

Resultat ecrit_fichier(std::string_view chemin, std::string_view contenu, int mode_ajout) {
  if (echec_injecte(Operation::ecriture, chemin)) return echec_injection(chemin);
  std::string natif;
  if (Resultat r = prepare(Operation::ouverture, chemin, natif); !r) return r;
  Descripteur fd(::open(natif.c_str(), O_WRONLY | O_CREAT | drapeaux | mode_ajout, 0666));
  if (!fd.ok()) return echec_errno("open", natif);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return Resultat::echec(natif + " is not a file");
  if (ecrit_tout(fd.get(), contenu.data(), contenu.size()) && fd.ferme()) return Resultat::succes();
  // A replaced text cut short (full disk) is removed rather than left to be
  // read as a whole one; an appended text keeps what it had.
  const int erreur = errno;
  fd.ferme();
  if (mode_ajout == O_TRUNC) ::unlink(natif.c_str());
  return echec_errno("write", natif, erreur);
}

}  // namespace

std::string chemin_natif(std::string_view chemin) { return resout_chemin(chemin).value_or(""); }

Resultat liste_fichiers(std::string_view dossier, std::string_view motif,
                        std::vector<std::string>& noms) {
  noms.clear();
  std::string natif;
  if (Resultat r = prepare(Operation::listage, dossier, natif); !r) return r;
  std::vector<interne::Entree> entrees;
  int erreur = 0;
  if (!interne::liste_natif(natif, motif, entrees, erreur))
    return echec_errno("list", natif, erreur);
  noms.reserve(entrees.size());
  for (auto& e : entrees) noms.push_back(std::move(e.nom_1252));
  return Resultat::succes();
}

// The presence checks look into a folder as a file list box does: they are
// "listing" operations for the test hook.
bool existe_fichier(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  const interne::CheminDecoupe d = interne::decoupe_chemin(chemin);
  if (d.nom.empty()) return false;
  if (interne::est_motif(d.nom)) {
    auto dossier = resout_chemin(d.dossier);
    std::vector<interne::Entree> entrees;
    int erreur = 0;
    return dossier && interne::liste_natif(*dossier, d.nom, entrees, erreur) && !entrees.empty();
  }
  if (d.nom.front() == '.') return false;  // hidden
  auto natif = resout_chemin(chemin);
  struct stat st;
  return natif && ::stat(natif->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool existe_dossier(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  auto natif = resout_chemin(chemin);
  struct stat st;
  return natif && ::stat(natif->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool existe_entree(std::string_view chemin) {
  if (echec_injecte(Operation::listage, chemin)) return false;
  auto natif = resout_chemin(chemin);
  struct stat st;
  return natif && ::lstat(natif->c_str(), &st) == 0;
}

Resultat synchronise_dossier(std::string_view chemin) {
  std::string natif;
  if (Resultat r = prepare(Operation::synchronisation, chemin, natif); !r) return r;
  if (natif.empty()) natif = ".";
  Descripteur fd(::open(natif.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.ok()) return echec_errno("open folder", natif);
  if (::fsync(fd.get()) != 0) return echec_errno("flush folder", natif);
  return Resultat::succes();
}

// The destination is written in place (it keeps its owner and permissions;
// a new one gets the usual ones). A copy that fails half-way removes the
// destination: a truncated stock file must never be taken for a whole one
// (the working file would be applied in part, an archive would lie).
Resultat copie_fichier(std::string_view source, std::string_view destination) {
  if (echec_injecte(Operation::copie, destination)) return echec_injection(destination);
  std::string src, dst;
  if (Resultat r = prepare(Operation::copie, source, src); !r) return r;
  if (Resultat r = prepare(Operation::copie, destination, dst); !r) return r;

  Descripteur in(::open(src.c_str(), O_RDONLY | drapeaux));
  if (!in.ok()) return echec_errno("open", src);
  struct stat st_src;
  if (::fstat(in.get(), &st_src) != 0) return echec_errno("stat", src);
  if (!S_ISREG(st_src.st_mode)) return Resultat::echec(src + " is not a file");

  // Not truncated yet: the destination may turn out to be the source itself
  // ("a.txt" copied to "A.TXT" resolves to the same file), which truncating
  // would destroy.
  Descripteur out(::open(dst.c_str(), O_WRONLY | O_CREAT | drapeaux, 0666));
  if (!out.ok()) return echec_errno("open", dst);
  struct stat st_dst;
  if (::fstat(out.get(), &st_dst) != 0) return echec_errno("stat", dst);
  if (st_dst.st_dev == st_src.st_dev && st_dst.st_ino == st_src.st_ino)
    return Resultat::echec("cannot copy " + src + " onto itself");
  if (!S_ISREG(st_dst.st_mode)) return Resultat::echec(dst + " is not a file");

  auto abandonne = [&](const char* quoi, const std::string& chemin) {
    const int erreur = errno;
    out.ferme();
    ::unlink(dst.c_str());
    return echec_errno(quoi, chemin, erreur);
  };
  if (::ftruncate(out.get(), 0) != 0) return abandonne("truncate", dst);
  char tampon[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in.get(), tampon, sizeof tampon);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandonne("read", src);
    }
    if (n == 0) break;
    if (!ecrit_tout(out.get(), tampon, static_cast<std::size_t>(n))) return abandonne("write", dst);
  }
  if (!out.ferme()) {
    const int erreur = errno;
    ::unlink(dst.c_str());
    return echec_errno("close", dst, erreur);
  }
  return Resultat::succes();
}

Resultat renomme_fichier(std::string_view ancien, std::string_view nouveau) {
  if (echec_injecte(Operation::renommage, nouveau)) return echec_injection(nouveau);
  std::string de, vers;
  if (Resultat r = prepare(Operation::renommage, ancien, de); !r) return r;
  if (Resultat r = prepare(Operation::renommage, nouveau, vers); !r) return r;
  // A new name that differs only by case resolves to the file itself: then
  // the name is changed as written, as the workstation would.
  struct stat a, b;
  if (::stat(de.c_str(), &a) == 0 && ::stat(vers.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
      a.st_ino == b.st_ino) {
    const interne::CheminDecoupe d = interne::decoupe_chemin(vers);
    vers = interne::joint_chemin(d.dossier,
                                 interne::utf8_depuis_1252(interne::decoupe_chemin(nouveau).nom));
  }
  if (::rename(de.c_str(), vers.c_str()) != 0) return echec_errno("rename", de);
  return Resultat::succes();
}

Resultat supprime_fichier(std::string_view chemin) {
  std::string natif;
  if (Resultat r = prepare(Operation::suppression, chemin, natif); !r) return r;
  if (::unlink(natif.c_str()) != 0) return echec_errno("delete", natif);
  return Resultat::succes();
}

Resultat supprime_motif(std::string_view chemin) {
  if (echec_injecte(Operation::suppression, chemin)) return echec_injection(chemin);
  const interne::CheminDecoupe d = interne::decoupe_chemin(chemin);
  // "C:\Startup\" with an empty name must never mean "everything".
  if (d.nom.empty()) return Resultat::echec("empty file pattern: nothing deleted");
  auto dossier = resout_chemin(d.dossier);
  if (!dossier) return Resultat::echec("path holds a NUL byte");
  std::vector<interne::Entree> entrees;
  int erreur = 0;
  if (!interne::liste_natif(*dossier, d.nom, entrees, erreur))
    return echec_errno("list", *dossier, erreur);
  if (entrees.empty()) return Resultat::echec("no file matches " + std::string(chemin));
  Resultat resultat = Resultat::succes();
  for (const auto& e : entrees) {
    const std::string f = interne::joint_chemin(*dossier, e.nom_utf8);
    if (::unlink(f.c_str()) != 0 && resultat) resultat = echec_errno("delete", f);
  }
  return resultat;
}

Resultat cree_dossier(std::string_view chemin) {
  std::string natif;
  if (Resultat r = prepare(Operation::creation_dossier, chemin, natif); !r) return r;
  if (::mkdir(natif.c_str(), 0777) != 0) return echec_errno("create folder", natif);
  return Resultat::succes();
}

std::optional<std::chrono::nanoseconds> date_modification(std::string_view chemin) {
  std::string natif;
  if (!prepare(Operation::lecture, chemin, natif)) return std::nullopt;
  struct stat st;
  if (::stat(natif.c_str(), &st) != 0) return std::nullopt;
  return std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
}

std::optional<std::int64_t> taille_fichier(std::string_view chemin) {
  std::string natif;
  if (!prepare(Operation::lecture, chemin, natif)) return std::nullopt;
  struct stat st;
  if (::lstat(natif.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

Resultat lit_texte(std::string_view chemin, std::string& contenu) {
  contenu.clear();
  if (echec_injecte(Operation::lecture, chemin)) return echec_injection(chemin);
  std::string natif;
  if (Resultat r = prepare(Operation::ouverture, chemin, natif); !r) return r;
  Descripteur fd(::open(natif.c_str(), O_RDONLY | drapeaux));
  if (!fd.ok()) return echec_errno("open", natif);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return Resultat::echec(natif + " is not a file");
  contenu.reserve(static_cast<std::size_t>(st.st_size));
  char tampon[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd.get(), tampon, sizeof tampon);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int erreur = errno;
      contenu.clear();
      return echec_errno("read", natif, erreur);
    }
    if (n == 0) break;
    contenu.append(tampon, static_cast<std::size_t>(n));
  }
  return Resultat::succes();
}

Resultat ecrit_texte(std::string_view chemin, std::string_view contenu) {
  return ecrit_fichier(chemin, contenu, O_TRUNC);
}

Resultat ajoute_texte(std::string_view chemin, std::string_view contenu) {
  return ecrit_fichier(chemin, contenu, O_APPEND);
}

namespace interne {

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

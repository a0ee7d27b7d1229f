// Transit folder files on Linux: the folder is held open as a descriptor and
// every entry reached relative to it with openat(), O_NOFOLLOW and a check of
// the opened handle, so neither a link nor a name holding a path can lead
// outside the folder, and a folder name swapped afterwards changes nothing.

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <utility>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/fichiers_transit_interne.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

using interne::chemin_entree;
using interne::echec_injecte;
using interne::ecrit_tout;

// O_NONBLOCK: a pipe or a device put where a file is expected must give a
// refusal, never a program waiting forever in open().
constexpr int sans_lien = O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& autre) noexcept : fd_(std::exchange(autre.fd_, -1)) {}
  Fd& operator=(Fd&& autre) noexcept {
    if (this != &autre) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(autre.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // close() reports a delayed write error (a full disk on some file
  // systems): a file that did not reach the disk is a failure.
  bool ferme() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

Resultat echec_errno(const char* quoi, const std::string& chemin, int erreur = errno) {
  return Resultat::echec(std::string(quoi) + " " + chemin + ": " + std::strerror(erreur));
}

Resultat echec_injection(const std::string& chemin) {
  return Resultat::echec("failure injected for " + chemin);
}

// A held folder and one entry of it, resolved: the entry's name on disk
// (exact, or the existing name differing only by case).
struct Entree {
  int dossier = -1;    // borrowed from the DossierTenu
  std::string nom;     // on disk, UTF-8
  std::string chemin;  // as the caller would write it, for messages and the test hook
};

int descripteur(const DossierTenu& d) { return static_cast<int>(d.natif()); }

Resultat ouvre_entree(Operation operation, const Emplacement& e, Entree& entree) {
  entree.chemin = chemin_entree(e.dossier.chemin(), e.nom);
  if (echec_injecte(operation, entree.chemin)) return echec_injection(entree.chemin);
  if (!nom_simple(e.nom)) return Resultat::echec("not a single file name: " + entree.chemin);
  if (!e.dossier.ouvert()) return Resultat::echec("folder not held: " + entree.chemin);
  entree.dossier = descripteur(e.dossier);
  entree.nom = interne::resout_nom(entree.dossier, e.nom);
  return Resultat::succes();
}

// The folder of a held DossierTenu, for messages.
std::string texte_dossier(const DossierTenu& d) {
  return d.chemin().empty() ? std::string(".") : d.chemin();
}

std::uint64_t alea() {
  std::uint64_t v = 0;
  if (::getrandom(&v, sizeof v, 0) == static_cast<ssize_t>(sizeof v)) return v;
  std::random_device source;
  return (static_cast<std::uint64_t>(source()) << 32) ^ source();
}

// A new file of the folder under an unpredictable name, created exclusively:
// a link or file someone put under that name makes it try another name.
Fd cree_temporaire(int dossier, std::string& nom) {
  for (int essai = 0; essai < interne::essais_temporaire; ++essai) {
    nom = interne::nom_temporaire(alea());
    Fd fd(::openat(dossier, nom.c_str(), O_WRONLY | O_CREAT | O_EXCL | sans_lien, 0666));
    if (fd.ok() || errno != EEXIST) return fd;
  }
  return Fd();
}

// Opens `nom` for writing with `drapeaux` (O_TRUNC or O_APPEND, maybe
// O_CREAT) without following it: a link found there is removed and a plain
// file created in its place. Anything else that is not a plain file refuses.
Resultat ouvre_ecriture(const Entree& e, int drapeaux, Fd& fd) {
  for (int essai = 0; essai < 2; ++essai) {
    fd = Fd(::openat(e.dossier, e.nom.c_str(), O_WRONLY | drapeaux | sans_lien, 0666));
    if (fd.ok()) break;
    if (errno != ELOOP) return echec_errno("open", e.chemin);
    if (::unlinkat(e.dossier, e.nom.c_str(), 0) != 0) return echec_errno("unlink", e.chemin);
  }
  if (!fd.ok()) return Resultat::echec("cannot replace link " + e.chemin);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    fd = Fd();
    return Resultat::echec(e.chemin + " is not a file");
  }
  return Resultat::succes();
}

// One destination of a copy: its folder, its temporary file while written.
struct Cible {
  Entree entree;
  Fd fd;
  std::string temporaire;
};

}  // namespace

Resultat copie_entree(const Emplacement& source, const std::vector<Emplacement>& destinations,
                      std::uint64_t taille_max, Refus& refus) {
  refus = Refus::aucun;
  if (!nom_simple(source.nom)) {
    refus = Refus::pas_un_fichier;
    return Resultat::echec("not a single file name: " + source.nom);
  }
  Entree src;
  if (Resultat r = ouvre_entree(Operation::copie, source, src); !r) return r;
  Fd in(::openat(src.dossier, src.nom.c_str(), O_RDONLY | sans_lien));
  if (!in.ok()) {
    if (errno == ELOOP) refus = Refus::pas_un_fichier;
    return echec_errno("open", src.chemin);
  }
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return echec_errno("stat", src.chemin);
  if (!S_ISREG(st.st_mode)) {
    refus = Refus::pas_un_fichier;
    return Resultat::echec(src.chemin + " is not a file");
  }
  if (static_cast<std::uint64_t>(st.st_size) > taille_max) {
    refus = Refus::trop_volumineux;
    return Resultat::echec(src.chemin + " is too large");
  }

  std::vector<Cible> cibles(destinations.size());
  auto abandonne = [&](Resultat r) {
    for (Cible& c : cibles) {
      if (c.fd.ok() || !c.temporaire.empty()) {
        c.fd.ferme();
        if (!c.temporaire.empty()) ::unlinkat(c.entree.dossier, c.temporaire.c_str(), 0);
      }
    }
    return r;
  };
  for (std::size_t i = 0; i < destinations.size(); ++i) {
    Cible& c = cibles[i];
    if (Resultat r = ouvre_entree(Operation::copie, destinations[i], c.entree); !r)
      return abandonne(r);
    c.fd = cree_temporaire(c.entree.dossier, c.temporaire);
    if (!c.fd.ok()) {
      c.temporaire.clear();
      return abandonne(echec_errno("create temporary in", texte_dossier(destinations[i].dossier)));
    }
  }

  // The size seen above may grow while the file is read (the server still
  // writing it): the bound holds on what is read, too.
  std::uint64_t total = 0;
  char tampon[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in.get(), tampon, sizeof tampon);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandonne(echec_errno("read", src.chemin));
    }
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    if (total > taille_max) {
      refus = Refus::trop_volumineux;
      return abandonne(Resultat::echec(src.chemin + " is too large"));
    }
    for (Cible& c : cibles) {
      if (!ecrit_tout(c.fd.get(), tampon, static_cast<std::size_t>(n)))
        return abandonne(echec_errno("write", c.entree.chemin));
    }
  }
  for (Cible& c : cibles) {
    if (!c.fd.ferme()) return abandonne(echec_errno("close", c.entree.chemin));
  }
  for (Cible& c : cibles) {
    if (::renameat(c.entree.dossier, c.temporaire.c_str(), c.entree.dossier,
                   c.entree.nom.c_str()) != 0)
      return abandonne(echec_errno("rename", c.entree.chemin));
    c.temporaire.clear();
  }
  return Resultat::succes();
}

Resultat ecrit_temporaire(const DossierTenu& dossier, std::string_view contenu,
                          std::string& nom_temporaire) {
  nom_temporaire.clear();
  const std::string chemin = chemin_entree(dossier.chemin(), "*.tmp");
  if (echec_injecte(Operation::ecriture, chemin)) return echec_injection(chemin);
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + chemin);
  const int fd_dossier = descripteur(dossier);
  std::string nom;
  Fd fd = cree_temporaire(fd_dossier, nom);
  if (!fd.ok()) return echec_errno("create temporary in", texte_dossier(dossier));
  if (ecrit_tout(fd.get(), contenu.data(), contenu.size()) && fd.ferme()) {
    nom_temporaire = nom;
    return Resultat::succes();
  }
  const int erreur = errno;
  fd.ferme();
  ::unlinkat(fd_dossier, nom.c_str(), 0);
  return echec_errno("write", chemin_entree(dossier.chemin(), nom), erreur);
}

Resultat renomme_entree(const DossierTenu& dossier, std::string_view ancien,
                        std::string_view nouveau) {
  Entree vers;
  if (Resultat r = ouvre_entree(Operation::renommage, {dossier, std::string(nouveau)}, vers); !r)
    return r;
  if (!nom_simple(ancien)) return Resultat::echec("not a single file name: " + std::string(ancien));
  const std::string de = interne::resout_nom(vers.dossier, ancien);
  if (::renameat(vers.dossier, de.c_str(), vers.dossier, vers.nom.c_str()) != 0)
    return echec_errno("rename", chemin_entree(dossier.chemin(), ancien));
  return Resultat::succes();
}

Resultat ecrit_entree(const Emplacement& fichier, std::string_view contenu) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Fd fd;
  if (Resultat r = ouvre_ecriture(e, O_CREAT | O_TRUNC, fd); !r) return r;
  if (ecrit_tout(fd.get(), contenu.data(), contenu.size()) && fd.ferme()) return Resultat::succes();
  // Cut short (full disk): removed rather than read later as a whole file.
  const int erreur = errno;
  fd.ferme();
  ::unlinkat(e.dossier, e.nom.c_str(), 0);
  return echec_errno("write", e.chemin, erreur);
}

Resultat ajoute_entree(const Emplacement& fichier, std::string_view contenu) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Fd fd;
  if (Resultat r = ouvre_ecriture(e, O_CREAT | O_APPEND, fd); !r) return r;
  if (ecrit_tout(fd.get(), contenu.data(), contenu.size()) && fd.ferme()) return Resultat::succes();
  return echec_errno("write", e.chemin);
}

Resultat verifie_ajout(const Emplacement& fichier) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  struct stat st;
  if (::fstatat(e.dossier, e.nom.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      Fd fd;
      return ouvre_ecriture(e, O_APPEND, fd);
    }
    if (::unlinkat(e.dossier, e.nom.c_str(), 0) != 0) return echec_errno("unlink", e.chemin);
  } else if (errno != ENOENT) {
    return echec_errno("stat", e.chemin);
  }
  // Missing: the folder must let us create it. Created and removed at once,
  // so the server sees no empty error file on a day without errors.
  Fd fd(::openat(e.dossier, e.nom.c_str(), O_WRONLY | O_CREAT | O_EXCL | sans_lien, 0666));
  if (!fd.ok()) return echec_errno("create", e.chemin);
  fd.ferme();
  ::unlinkat(e.dossier, e.nom.c_str(), 0);
  return Resultat::succes();
}

Resultat supprime_entree(const Emplacement& fichier) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::suppression, fichier, e); !r) return r;
  if (::unlinkat(e.dossier, e.nom.c_str(), 0) != 0) return echec_errno("delete", e.chemin);
  return Resultat::succes();
}

void DossierTenu::ferme() {
  if (ouvert()) ::close(descripteur(*this));
  natif_ = ferme_;
}

namespace {

// What a failed open of a folder says about it.
OuvertureDossier ouverture_ratee(int erreur) {
  switch (erreur) {
    case ENOENT:
      return OuvertureDossier::absent;
    case ELOOP:    // O_NOFOLLOW met a link
    case ENOTDIR:  // a file, a pipe, a device
      return OuvertureDossier::refuse;
    default:
      return OuvertureDossier::echec;
  }
}

// O_NONBLOCK: a pipe under a folder's name is refused by O_DIRECTORY before
// any wait for a writer; this keeps it so whatever the kernel checks first.
constexpr int dossier_lu = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;

}  // namespace

OuvertureDossier ouvre_dossier(std::string_view chemin, DossierTenu& dossier) {
  dossier.ferme();
  auto natif = interne::resout_chemin(chemin);
  if (!natif) return OuvertureDossier::echec;
  const int fd = ::open(natif->c_str(), dossier_lu);
  if (fd < 0) return ouverture_ratee(errno);
  dossier.prend(fd, std::string(chemin));
  return OuvertureDossier::ouvert;
}

OuvertureDossier ouvre_sous_dossier(const DossierTenu& parent, std::string_view nom,
                                    DossierTenu& dossier) {
  dossier.ferme();
  if (!parent.ouvert()) return OuvertureDossier::echec;
  if (!nom_simple(nom)) return OuvertureDossier::refuse;
  const int p = descripteur(parent);
  const std::string sur_disque = interne::resout_nom(p, nom, true);
  const int fd = ::openat(p, sur_disque.c_str(), dossier_lu | O_NOFOLLOW);
  if (fd < 0) return ouverture_ratee(errno);
  dossier.prend(fd, chemin_entree(parent.chemin(), nom));
  return OuvertureDossier::ouvert;
}

Resultat liste_entrees(const DossierTenu& dossier, std::string_view motif,
                       std::vector<std::string>& noms) {
  noms.clear();
  const std::string chemin = texte_dossier(dossier);
  if (echec_injecte(Operation::listage, dossier.chemin())) return echec_injection(chemin);
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + chemin);
  std::vector<interne::Entree> entrees;
  int erreur = 0;
  if (!interne::liste_natif(descripteur(dossier), motif, entrees, erreur))
    return echec_errno("list", chemin, erreur);
  noms.reserve(entrees.size());
  for (auto& e : entrees) noms.push_back(std::move(e.nom_1252));
  return Resultat::succes();
}

namespace {

// The entry itself when it is a plain file: fstatat without following.
bool stat_fichier(Operation operation, const Emplacement& fichier, struct stat& st) {
  Entree e;
  if (!ouvre_entree(operation, fichier, e)) return false;
  return ::fstatat(e.dossier, e.nom.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::optional<std::int64_t> taille_entree(const Emplacement& fichier) {
  struct stat st;
  if (!stat_fichier(Operation::lecture, fichier, st)) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

std::optional<std::chrono::nanoseconds> date_entree(const Emplacement& fichier) {
  struct stat st;
  if (!stat_fichier(Operation::lecture, fichier, st)) return std::nullopt;
  return std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
}

Resultat lit_entree(const Emplacement& fichier, std::int64_t position, std::size_t n,
                    std::string& octets) {
  octets.clear();
  Entree e;
  if (Resultat r = ouvre_entree(Operation::lecture, fichier, e); !r) return r;
  Fd fd(::openat(e.dossier, e.nom.c_str(), O_RDONLY | sans_lien));
  if (!fd.ok()) return echec_errno("open", e.chemin);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return Resultat::echec(e.chemin + " is not a file");
  octets.resize(n);
  std::size_t lus = 0;
  while (lus < n) {
    const ssize_t r = ::pread(fd.get(), octets.data() + lus, n - lus,
                              static_cast<off_t>(position + static_cast<std::int64_t>(lus)));
    if (r < 0) {
      if (errno == EINTR) continue;
      const int erreur = errno;
      octets.clear();
      return echec_errno("read", e.chemin, erreur);
    }
    if (r == 0) break;
    lus += static_cast<std::size_t>(r);
  }
  octets.resize(lus);
  return Resultat::succes();
}

Resultat retire_ajout_coupe(const Emplacement& fichier, std::int64_t taille,
                            std::string_view ligne) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::ecriture, fichier, e); !r) return r;
  Fd fd(::openat(e.dossier, e.nom.c_str(), O_RDWR | sans_lien));
  if (!fd.ok()) return errno == ENOENT ? Resultat::succes() : echec_errno("open", e.chemin);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return Resultat::echec(e.chemin + " is not a file");
  const auto longueur = static_cast<std::int64_t>(ligne.size());
  if (taille < 0 || st.st_size <= taille || st.st_size >= taille + longueur)
    return Resultat::succes();
  std::string fin(static_cast<std::size_t>(st.st_size - taille), '\0');
  std::size_t lus = 0;
  while (lus < fin.size()) {
    const ssize_t n = ::pread(fd.get(), fin.data() + lus, fin.size() - lus,
                              static_cast<off_t>(taille) + static_cast<off_t>(lus));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return echec_errno("read", e.chemin);
    lus += static_cast<std::size_t>(n);
  }
  if (!ligne.starts_with(fin)) return Resultat::succes();
  if (::ftruncate(fd.get(), static_cast<off_t>(taille)) != 0) return echec_errno("cut", e.chemin);
  return Resultat::succes();
}

Resultat synchronise_entree(const Emplacement& fichier) {
  Entree e;
  if (Resultat r = ouvre_entree(Operation::synchronisation, fichier, e); !r) return r;
  Fd fd(::openat(e.dossier, e.nom.c_str(), O_RDONLY | sans_lien));
  if (!fd.ok()) return echec_errno("open", e.chemin);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return Resultat::echec(e.chemin + " is not a file");
  if (::fsync(fd.get()) != 0) return echec_errno("flush", e.chemin);
  return Resultat::succes();
}

Resultat synchronise_dossier(const DossierTenu& dossier) {
  if (echec_injecte(Operation::synchronisation, dossier.chemin()))
    return echec_injection(dossier.chemin());
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + dossier.chemin());
  if (::fsync(descripteur(dossier)) != 0)
    return echec_errno("flush folder", texte_dossier(dossier));
  return Resultat::succes();
}

}  // namespace pontex

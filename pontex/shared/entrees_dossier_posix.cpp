// The import folder's entries on Linux: one readdir() pass, each entry's kind
// from the folder itself (never by opening it), names without a Windows-1252
// form escaped rather than left out.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

Resultat echec_errno(const char* quoi, const std::string& chemin, int erreur) {
  return Resultat::echec(std::string(quoi) + " " + chemin + ": " + std::strerror(erreur));
}

}  // namespace

Resultat liste_entrees_detaillees(const DossierTenu& dossier, std::string_view motif,
                                  std::vector<EntreeDossier>& entrees) {
  entrees.clear();
  const std::string& chemin = dossier.chemin();
  if (interne::echec_injecte(Operation::listage, chemin))
    return Resultat::echec("failure injected for " + chemin);
  if (!dossier.ouvert()) return Resultat::echec("folder not held: " + chemin);
  // The held folder itself, never its name looked up again: a copy of the
  // descriptor, as the listing closes the one it reads.
  const int copie = ::fcntl(static_cast<int>(dossier.natif()), F_DUPFD_CLOEXEC, 0);
  if (copie < 0) return echec_errno("list", chemin, errno);
  DIR* d = ::fdopendir(copie);
  if (d == nullptr) {
    const int erreur = errno;
    ::close(copie);
    return echec_errno("list", chemin, erreur);
  }
  ::rewinddir(d);
  const int fd = ::dirfd(d);
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (e == nullptr) break;
    const std::string_view nom_disque = e->d_name;
    if (nom_disque.empty() || nom_disque.front() == '.') continue;
    std::string nom = interne::nom_programme(nom_disque);
    if (!correspond_motif(nom, motif)) continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone since
      type = S_ISREG(st.st_mode)   ? DT_REG
             : S_ISLNK(st.st_mode) ? DT_LNK
             : S_ISDIR(st.st_mode) ? DT_DIR
                                   : DT_FIFO;
    }
    if (type == DT_DIR) continue;
    entrees.push_back({std::move(nom), type == DT_REG || type == DT_LNK});
  }
  const int erreur = errno;
  ::closedir(d);
  if (erreur != 0) {
    entrees.clear();
    return echec_errno("list", chemin, erreur);
  }
  std::sort(entrees.begin(), entrees.end(), [](const EntreeDossier& a, const EntreeDossier& b) {
    return interne::avant_dans_liste(a.nom, b.nom);
  });
  return Resultat::succes();
}

}  // namespace pontex

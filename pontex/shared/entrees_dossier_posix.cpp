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

Resultat liste_entrees(std::string_view dossier, std::string_view motif,
                       std::vector<EntreeDossier>& entrees) {
  entrees.clear();
  if (interne::echec_injecte(Operation::listage, dossier))
    return Resultat::echec("failure injected for " + std::string(dossier));
  auto natif = interne::resout_chemin(dossier);
  if (!natif) return Resultat::echec("path holds a NUL byte");
  DIR* d = ::opendir(natif->c_str());
  if (d == nullptr) return echec_errno("list", *natif, errno);
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
    return echec_errno("list", *natif, erreur);
  }
  std::sort(entrees.begin(), entrees.end(), [](const EntreeDossier& a, const EntreeDossier& b) {
    return interne::avant_dans_liste(a.nom, b.nom);
  });
  return Resultat::succes();
}

std::optional<std::chrono::nanoseconds> date_entree(std::string_view dossier,
                                                    std::string_view nom) {
  std::string chemin(dossier);
  if (!chemin.empty() && chemin.back() != '\\') chemin.push_back('\\');
  chemin.append(nom);
  if (interne::echec_injecte(Operation::lecture, chemin)) return std::nullopt;
  auto natif = interne::resout_chemin(dossier);
  if (!natif) return std::nullopt;
  const std::string entree = interne::joint_chemin(*natif, interne::resout_nom(*natif, nom));
  struct stat st;
  if (::stat(entree.c_str(), &st) != 0) return std::nullopt;
  return std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
}

}  // namespace pontex

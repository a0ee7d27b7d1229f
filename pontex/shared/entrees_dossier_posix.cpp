// The import folder's entries on Linux: one readdir() pass, each entry's kind
// from the folder itself (never by opening it), names without a Windows-1252
// form escaped rather than left out.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex::interne {

bool lit_entrees(const DossierTenu& dossier, std::string_view motif,
                 std::vector<EntreeDossier>& entrees, CodeSysteme& code) {
  // The held folder itself, never its name looked up again: a copy of the
  // descriptor, as the listing closes the one it reads.
  const int copie = ::fcntl(static_cast<int>(dossier.natif()), F_DUPFD_CLOEXEC, 0);
  if (copie < 0) {
    code = static_cast<CodeSysteme>(errno);
    return false;
  }
  DIR* d = ::fdopendir(copie);
  if (d == nullptr) {
    code = static_cast<CodeSysteme>(errno);
    ::close(copie);
    return false;
  }
  ::rewinddir(d);
  const int fd = ::dirfd(d);
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (e == nullptr) break;
    const std::string_view nom_disque = e->d_name;
    if (nom_disque.empty() || nom_disque.front() == '.') continue;
    std::string nom = nom_programme(nom_disque);
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
  code = static_cast<CodeSysteme>(errno);
  ::closedir(d);
  return code == 0;
}

}  // namespace pontex::interne

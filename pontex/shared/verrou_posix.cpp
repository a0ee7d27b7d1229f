// The folder lock on Linux: flock on our own lock file. The lock belongs to
// the open file, which is closed at exec (the relauncher started by Pontex
// must not inherit it) and by the system when the process ends.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/verrou.h"

namespace pontex {

VerrouDossier::~VerrouDossier() { libere(); }

Resultat VerrouDossier::prend(std::string_view chemin, bool& occupe) {
  occupe = false;
  libere();
  const auto natif = interne::resout_chemin(chemin);
  if (!natif) return Resultat::echec("path holds a NUL byte");
  const int fd = ::open(natif->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return Resultat::echec("open " + *natif + ": " + std::strerror(errno));
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int erreur = errno;
    ::close(fd);
    occupe = erreur == EWOULDBLOCK;
    return Resultat::echec("lock " + *natif + ": " + std::strerror(erreur));
  }
  fd_ = fd;
  return Resultat::succes();
}

void VerrouDossier::libere() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool VerrouDossier::tenu() const { return fd_ >= 0; }

}  // namespace pontex

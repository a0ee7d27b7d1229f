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

PriseVerrou VerrouDossier::prend(std::string_view chemin) {
  libere();
  const auto natif = interne::resout_chemin(chemin);
  if (!natif) return {IssueVerrou::impossible, "path holds a NUL byte"};
  const int fd = ::open(natif->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return {IssueVerrou::impossible, "open " + *natif + ": " + std::strerror(errno)};
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int erreur = errno;
    ::close(fd);
    // Only a lock held elsewhere is another Pontex; a file system that
    // refuses locks (ENOLCK on a network home) tells nothing of one.
    const IssueVerrou issue =
        erreur == EWOULDBLOCK ? IssueVerrou::tenu_par_un_autre : IssueVerrou::impossible;
    return {issue, "lock " + *natif + ": " + std::strerror(erreur)};
  }
  fd_ = fd;
  return {IssueVerrou::pris, {}};
}

void VerrouDossier::libere() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool VerrouDossier::tenu() const { return fd_ >= 0; }

}  // namespace pontex

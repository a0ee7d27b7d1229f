// Record files on Linux. The cash-register program reads and writes the same
// files at any moment, so: no lock, no O_APPEND (records are written at their
// own offsets), no buffering of ours — each read or write is one pread or
// pwrite of whole records, looped only when the system transfers less than
// asked in one go.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {

Resultat echec_errno(const char* quoi, const std::string& chemin, int erreur) {
  return Resultat::echec(std::string(quoi) + " " + chemin + ": " + std::strerror(erreur));
}

// Byte offset of record `premier` and byte count of `nombre` records, or
// false when they do not fit in a file offset.
// Checked by overflow tests rather than divisions: this runs before every
// read and write, some twenty times per record applied.
bool position(std::int64_t premier, std::size_t nombre, std::size_t longueur, off_t& debut,
              std::size_t& octets) {
  using Limite = std::numeric_limits<off_t>;
  if (premier < 1 || longueur == 0) return false;
  off_t d = 0;
  if (__builtin_mul_overflow(premier - 1, longueur, &d)) return false;
  if (__builtin_mul_overflow(nombre, longueur, &octets)) return false;
  debut = d;
  return static_cast<std::uint64_t>(octets) <= static_cast<std::uint64_t>(Limite::max() - debut);
}

// Without access-time updates where the system allows it: only the files'
// owner may ask, and once refused the files are opened as usual.
int ouvre_sans_date_acces(const std::string& natif, int drapeaux) {
  static bool refuse = false;
  if (!refuse) {
    const int d = ::open(natif.c_str(), drapeaux | O_NOATIME, 0666);
    if (d >= 0 || errno != EPERM) return d;
    refuse = true;
  }
  return ::open(natif.c_str(), drapeaux, 0666);
}

// A file's type and size, asked without its times. Since Linux 6.13 a file
// whose change time was read gets a fresh fine-grained time, and so an inode
// update, at its next write: with the movement file's size asked at every
// append, that doubled the cost of its writes. statx asked for the type and
// size only does not read the times; fstat does (and is the fallback for a
// system without statx).
struct Etat {
  bool regulier = false;
  std::int64_t taille = 0;
};
bool etat_sans_dates(int fd, Etat& e) {
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE, &sx) == 0 &&
      (sx.stx_mask & (STATX_TYPE | STATX_SIZE)) == (STATX_TYPE | STATX_SIZE)) {
    e.regulier = S_ISREG(sx.stx_mode);
    e.taille = static_cast<std::int64_t>(sx.stx_size);
    return true;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  e.regulier = S_ISREG(st.st_mode);
  e.taille = static_cast<std::int64_t>(st.st_size);
  return true;
}

}  // namespace

FichierRecords::~FichierRecords() { ferme(); }

Resultat FichierRecords::ouvre(std::string_view chemin, std::size_t longueur_record,
                               Creation creation, DateAcces date) {
  return ouvre_acces(chemin, longueur_record, creation, false, date);
}

Resultat FichierRecords::ouvre_lecture(std::string_view chemin, std::size_t longueur_record) {
  return ouvre_acces(chemin, longueur_record, Creation::jamais, true, DateAcces::laissee);
}

Resultat FichierRecords::ouvre_acces(std::string_view chemin, std::size_t longueur_record,
                                     Creation creation, bool lecture_seule, DateAcces date) {
  ferme();
  if (longueur_record == 0) return Resultat::echec("record length 0");
  if (interne::echec_injecte(Operation::ouverture, chemin))
    return Resultat::echec("failure injected for " + std::string(chemin));
  // A file we may not write (read-only copy of a register) is still opened
  // for reading, so the stock can be exported; its writes then fail.
  // O_NONBLOCK: a named pipe in place of a register file must not make
  // the program wait in open(); it is then refused below.
  const auto ouvre_natif = [lecture_seule, date](const std::string& natif, int creation) {
    const auto ouvre_un = [date](const std::string& n, int drapeaux) {
      return date == DateAcces::laissee ? ouvre_sans_date_acces(n, drapeaux)
                                        : ::open(n.c_str(), drapeaux, 0666);
    };
    const int acces = lecture_seule ? O_RDONLY : O_RDWR;
    int d = ouvre_un(natif, acces | O_CLOEXEC | O_NONBLOCK | creation);
    if (d < 0 && !lecture_seule &&
        (errno == EACCES || errno == EROFS || errno == EPERM || errno == EISDIR))
      d = ouvre_un(natif, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    return d;
  };
  // The file as named first: the usual case, one system call. Only a name
  // that is not there as written is matched ignoring case, and a missing
  // file is then created empty when the caller allows it.
  auto natif = interne::chemin_tel_quel(chemin);
  if (!natif) return Resultat::echec("path holds a NUL byte");
  int fd = ouvre_natif(*natif, 0);
  if (fd < 0 && errno == ENOENT) {
    natif = interne::resout_chemin(chemin);
    if (!natif) return Resultat::echec("path holds a NUL byte");
    fd = ouvre_natif(*natif, creation == Creation::si_absent ? O_CREAT : 0);
  }
  if (fd < 0) return echec_errno("open", *natif, errno);
  // A lookup asks the size only when it needs it (nombre_records). Read
  // only, something that is not a plain file (a folder, a pipe) fails at
  // its first read, and nothing is ever written to it.
  Etat e;
  if (!lecture_seule && (!etat_sans_dates(fd, e) || !e.regulier)) {
    ::close(fd);
    return Resultat::echec(*natif + " is not a file");
  }
  ++compteurs_es().ouvertures;
  fd_ = fd;
  taille_vue_ = e.taille;
  // The caller's own form of the path: the test hook and the messages
  // speak of the file as the program names it.
  chemin_ = std::string(chemin);
  longueur_ = longueur_record;
  return Resultat::succes();
}

void FichierRecords::ferme() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  chemin_.clear();
  longueur_ = 0;
  taille_vue_ = 0;
}

bool FichierRecords::est_ouvert() const { return fd_ >= 0; }

std::int64_t FichierRecords::nombre_records() const {
  if (fd_ < 0 || longueur_ == 0) return 0;
  Etat e;
  if (!etat_sans_dates(fd_, e)) return 0;
  vu(e.taille);
  return e.taille / static_cast<std::int64_t>(longueur_);
}

std::int64_t FichierRecords::nombre_records_vus() const {
  if (fd_ < 0 || longueur_ == 0) return 0;
  return taille_vue_ / static_cast<std::int64_t>(longueur_);
}

Resultat FichierRecords::lit(std::int64_t premier, void* tampon, std::size_t nombre,
                             std::size_t& lus) const {
  lus = 0;
  if (fd_ < 0) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::lecture, chemin_))
    return Resultat::echec("failure injected for " + chemin_);
  off_t debut = 0;
  std::size_t octets = 0;
  if (!position(premier, nombre, longueur_, debut, octets))
    return Resultat::echec("record number out of range");
  auto* p = static_cast<char*>(tampon);
  std::size_t total = 0;
  while (total < octets) {
    ++compteurs_es().lectures;
    const ssize_t n = ::pread(fd_, p + total, octets - total, debut + static_cast<off_t>(total));
    if (n < 0) {
      if (errno == EINTR) continue;
      return echec_errno("read", chemin_, errno);
    }
    if (n == 0) break;  // end of file
    total += static_cast<std::size_t>(n);
  }
  vu(static_cast<std::int64_t>(debut) + static_cast<std::int64_t>(total));
  // A trailing partial record (the other program writing it right now, or
  // a damaged file) is not a record.
  lus = total / longueur_;
  return Resultat::succes();
}

Resultat FichierRecords::ecrit(std::int64_t premier, const void* tampon, std::size_t nombre) {
  if (fd_ < 0) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::ecriture, chemin_))
    return Resultat::echec("failure injected for " + chemin_);
  off_t debut = 0;
  std::size_t octets = 0;
  if (!position(premier, nombre, longueur_, debut, octets))
    return Resultat::echec("record number out of range");
  if (debut > taille_vue_ && debut - taille_vue_ > ecart_max_octets) {
    // Far past the end we know of: ask the system before refusing.
    Etat e;
    if (!etat_sans_dates(fd_, e)) return echec_errno("stat", chemin_, errno);
    vu(e.taille);
    if (debut > e.taille && debut - e.taille > ecart_max_octets)
      return Resultat::echec("write of record " + std::to_string(premier) +
                             " refused: " + std::to_string(debut - e.taille) +
                             " bytes past the end of " + chemin_);
  }
  const auto* p = static_cast<const char*>(tampon);
  std::size_t total = 0;
  while (total < octets) {
    ++compteurs_es().ecritures;
    const ssize_t n = ::pwrite(fd_, p + total, octets - total, debut + static_cast<off_t>(total));
    if (n < 0) {
      if (errno == EINTR) continue;
      // EBADF: the file could only be opened for reading.
      return echec_errno("write", chemin_, errno == EBADF ? EACCES : errno);
    }
    if (n == 0) return echec_errno("write", chemin_, ENOSPC);
    total += static_cast<std::size_t>(n);
  }
  vu(static_cast<std::int64_t>(debut) + static_cast<std::int64_t>(total));
  return Resultat::succes();
}

}  // namespace pontex

namespace pontex {

Resultat FichierRecords::vide_tampons() {
  if (fd_ < 0) return Resultat::echec("record file not open");
  if (interne::echec_injecte(Operation::synchronisation, chemin_))
    return Resultat::echec("failure injected for " + chemin_);
  if (::fsync(fd_) != 0) return echec_errno("flush", chemin_, errno);
  return Resultat::succes();
}

}  // namespace pontex

// Record files on Linux: the system calls under fichier_records.cpp. The
// cash-register program reads and writes the same files at any moment, so:
// no lock, no O_APPEND (records are written at their own offsets), no
// buffering of ours — pread and pwrite at the records' own offsets.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/fichiers_natifs.h"

namespace pontex::interne {

namespace {

// Without access-time updates where the system allows it: only the files'
// owner may ask, and once refused the files are opened as usual.
int ouvre_sans_date_acces(const char* natif, int drapeaux) {
  static bool refuse = false;
  if (!refuse) {
    const int d = ::open(natif, drapeaux | O_NOATIME, 0666);
    if (d >= 0 || errno != EPERM) return d;
    refuse = true;
  }
  return ::open(natif, drapeaux, 0666);
}

// The path as written, in the system's form, into `sortie` (size at least
// chemin.size() + 1), when it is plain ASCII with no NUL byte: what
// chemin_tel_quel makes of it, without a string on the heap. False for any
// other path, which chemin_tel_quel then converts.
bool chemin_ascii_tel_quel(std::string_view chemin, char* sortie) {
  for (std::size_t i = 0; i < chemin.size(); ++i) {
    const char c = chemin[i];
    if (c == '\0' || static_cast<unsigned char>(c) >= 0x80) return false;
    sortie[i] = c == '\\' ? '/' : c;
  }
  sortie[chemin.size()] = '\0';
  return true;
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

std::string texte_code(CodeSysteme code) { return std::strerror(static_cast<int>(code)); }

CodeSysteme derniere_erreur() { return static_cast<CodeSysteme>(errno); }

bool ferme_natif(std::intptr_t natif) { return natif < 0 || ::close(static_cast<int>(natif)) == 0; }

const char* const verbe_taille = "stat";

Resultat ouvre_records(std::string_view chemin, const OuvertureRecords& o, std::intptr_t& natif,
                       std::int64_t& taille) {
  // A file we may not write (read-only copy of a register) is still opened
  // for reading, so the stock can be exported; its writes then fail.
  // O_NONBLOCK: a named pipe in place of a register file must not make
  // the program wait in open(); it is then refused below.
  const auto ouvre_natif = [&o](const char* n, int creation) {
    const auto ouvre_un = [&o](const char* n, int drapeaux) {
      return o.sans_date_acces ? ouvre_sans_date_acces(n, drapeaux) : ::open(n, drapeaux, 0666);
    };
    const int acces = o.lecture_seule ? O_RDONLY : O_RDWR;
    int d = ouvre_un(n, acces | O_CLOEXEC | O_NONBLOCK | creation);
    if (d < 0 && !o.lecture_seule &&
        (errno == EACCES || errno == EROFS || errno == EPERM || errno == EISDIR))
      d = ouvre_un(n, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    return d;
  };
  // The file as named first: the usual case, one system call. The index
  // and the movement file are opened for every record applied, so a plain
  // ASCII path of usual length is turned into the system's form here, on
  // the stack; any other goes through chemin_tel_quel. Only a name that is
  // not there as written is matched ignoring case, and a missing file is
  // then created empty when the caller allows it.
  std::optional<std::string> chemin_natif;
  int fd = -1;
  if (char court[512];
      !chemin.empty() && chemin.size() < sizeof court && chemin_ascii_tel_quel(chemin, court)) {
    fd = ouvre_natif(court, 0);
    if (fd < 0) chemin_natif = std::string(court);
  } else {
    chemin_natif = chemin_tel_quel(chemin);
    if (!chemin_natif) return Resultat::echec("path holds a NUL byte");
    fd = ouvre_natif(chemin_natif->c_str(), 0);
  }
  if (fd < 0 && errno == ENOENT) {
    chemin_natif = resout_chemin(chemin);
    if (!chemin_natif) return Resultat::echec("path holds a NUL byte");
    fd = ouvre_natif(chemin_natif->c_str(), o.creer ? O_CREAT : 0);
  }
  if (fd < 0) return echec_code("open", *chemin_natif, static_cast<CodeSysteme>(errno));
  // A lookup asks the size only when it needs it (nombre_records). Read
  // only, something that is not a plain file (a folder, a pipe) fails at
  // its first read, and nothing is ever written to it.
  Etat e;
  if (!o.lecture_seule && (!etat_sans_dates(fd, e) || !e.regulier)) {
    ::close(fd);
    return Resultat::echec((chemin_natif ? *chemin_natif : *chemin_tel_quel(chemin)) +
                           " is not a file");
  }
  natif = fd;
  taille = e.taille;
  return Resultat::succes();
}

bool taille_records(std::intptr_t natif, std::int64_t& taille, CodeSysteme& code) {
  Etat e;
  if (!etat_sans_dates(static_cast<int>(natif), e)) {
    code = static_cast<CodeSysteme>(errno);
    return false;
  }
  taille = e.taille;
  return true;
}

std::int64_t lit_a(std::intptr_t natif, void* p, std::size_t n, std::int64_t position,
                   CodeSysteme& code) {
  const ssize_t lu = ::pread(static_cast<int>(natif), p, n, static_cast<off_t>(position));
  if (lu >= 0) return lu;
  if (errno == EINTR) return transfert_repris;
  code = static_cast<CodeSysteme>(errno);
  return transfert_rate;
}

std::int64_t ecrit_a(std::intptr_t natif, const void* p, std::size_t n, std::int64_t position,
                     CodeSysteme& code) {
  const ssize_t ecrit = ::pwrite(static_cast<int>(natif), p, n, static_cast<off_t>(position));
  if (ecrit > 0) return ecrit;
  if (ecrit < 0 && errno == EINTR) return transfert_repris;
  // EBADF: the file could only be opened for reading. Nothing written and
  // no error: the disk is full.
  code = static_cast<CodeSysteme>(ecrit == 0 ? ENOSPC : errno == EBADF ? EACCES : errno);
  return transfert_rate;
}

// The records and the size (an append's) reach the disk; the times of the
// last change, which nothing reads back after a power cut, are left to the
// system: each one of them would cost a commit of the disk's journal.
bool synchronise_natif(std::intptr_t natif, CodeSysteme& code) {
  if (::fdatasync(static_cast<int>(natif)) == 0) return true;
  code = static_cast<CodeSysteme>(errno);
  return false;
}

}  // namespace pontex::interne

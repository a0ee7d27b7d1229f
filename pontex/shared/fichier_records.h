#pragma once
// A random-access file of fixed-length records, shared with the cash-register
// program. Opened for reading and writing, shared, with no lock, unbuffered:
// every read or write is one system call on whole records, and nothing is
// kept in memory between two calls, so a change the other program makes is
// seen at the next read. Records are numbered from 1: record n starts at byte
// (n - 1) * length.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pontex/shared/resultat.h"

namespace pontex {

class FichierRecords {
 public:
  FichierRecords() = default;
  ~FichierRecords();
  FichierRecords(const FichierRecords&) = delete;
  FichierRecords& operator=(const FichierRecords&) = delete;

  // Whether a missing file may be created. The cash register's files are
  // never created by us: a missing one means a wrong folder, and an empty
  // file of ours there would look like a register without articles.
  enum class Creation { jamais, si_absent };

  // Closes a handle held before, then opens `chemin` (Windows-style path, see
  // fichiers.h). A missing file is created empty only with
  // Creation::si_absent; otherwise the opening fails.
  // Whether reads through this handle update the file's access time.
  // DateAcces::laissee is for a file read right after each of our writes to
  // it: on a disk mounted with relatime (the usual) each such read would
  // otherwise have the system write the file's inode again. Asked of the
  // system only where it allows it (the files' owner, on Linux); Windows no
  // longer keeps access times on its disks by default and is not asked.
  enum class DateAcces { tenue, laissee };

  Resultat ouvre(std::string_view chemin, std::size_t longueur_record,
                 Creation creation = Creation::jamais, DateAcces date = DateAcces::tenue);
  // Opens `chemin` for reading only, for a lookup that never writes (the
  // index, reopened for every article looked up): the least access the
  // lookup needs, so that the system has less to check and the cash-register
  // program, on Windows, may keep writers out of its index meanwhile. The
  // size is not asked at the opening: nombre_records() asks it when needed,
  // and nombre_records_vus() knows only what the reads saw. Its reads leave
  // the access time alone (DateAcces::laissee): some twenty reads a lookup
  // would otherwise each have the system check whether the time is due.
  Resultat ouvre_lecture(std::string_view chemin, std::size_t longueur_record);
  void ferme();
  bool est_ouvert() const;
  std::size_t longueur_record() const { return longueur_; }

  // Number of whole records the file holds now (a trailing partial record
  // does not count). Asks the system.
  std::int64_t nombre_records() const;
  // Whole records the file is known to hold without asking the system: what
  // this handle saw at its opening, in its reads and its writes. The other
  // program may have added records since; within one operation (a lookup, a
  // movement append) that is as good as a fresh count for bounding loops.
  std::int64_t nombre_records_vus() const;

  // Reads records premier .. premier + nombre - 1 into `tampon` (nombre *
  // length bytes) in one call. `lus` receives how many whole records were
  // read; records beyond the end of the file (or a trailing partial record)
  // are not read, and their bytes in `tampon` are left to the caller, who
  // blanks them. Fails only when the file cannot be read at all.
  Resultat lit(std::int64_t premier, void* tampon, std::size_t nombre, std::size_t& lus) const;

  // Writes whole records at premier. A write whose start lies more than
  // ecart_max_octets past the end of the file is refused: a damaged header
  // count must never make a write gigabytes past the end. The end is the
  // size this handle has seen (no system call for the usual write inside
  // the file or just after it), asked again before a write is refused.
  Resultat ecrit(std::int64_t premier, const void* tampon, std::size_t nombre = 1);

  static constexpr std::int64_t ecart_max_octets = 1 << 20;

  // Asks the system to put what was written through this file on the disk
  // (fsync / FlushFileBuffers). Costly: for the few moments that must
  // survive a power cut, never per record.
  Resultat vide_tampons();

 private:
  Resultat ouvre_acces(std::string_view chemin, std::size_t longueur_record, Creation creation,
                       bool lecture_seule, DateAcces date = DateAcces::tenue);
  // Records a size in bytes the file is known to reach.
  void vu(std::int64_t octets) const {
    if (octets > taille_vue_) taille_vue_ = octets;
  }

  // The path as the caller named it, for the test hook and the messages.
  // The register's files are opened twice for every record applied: a path
  // of usual length is kept in place rather than on the heap.
  std::string_view chemin() const {
    return chemin_long_.empty() ? std::string_view(chemin_court_.data(), taille_chemin_)
                                : std::string_view(chemin_long_);
  }
  void garde_chemin(std::string_view chemin);

  std::array<char, 256> chemin_court_{};
  std::size_t taille_chemin_ = 0;
  std::string chemin_long_;
  std::size_t longueur_ = 0;
  mutable std::int64_t taille_vue_ = 0;
  // The system's handle (see fichiers_natifs.h); -1 when closed.
  std::intptr_t natif_ = -1;
};

}  // namespace pontex

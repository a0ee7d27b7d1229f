#pragma once
// The journal on disk: every line the main window's journal shows is also
// kept in journal/pontex_yyyy-mm-dd.log beside "Pontex.wdo", so that what
// happened survives the restart after each exchange and can be sent to
// support.
//
// Lines are gathered and written in batches: one open, one append and one
// close per batch and day file, never one system call per movement line,
// so the journal costs an exchange next to nothing. A process killed in the
// middle of a batch leaves at most the last line of the file torn.
//
// A journal that cannot be written never stops an exchange: the batch is
// kept (up to a bound) and tried again with the next one.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/horloge.h"

namespace pontex {

class JournalFichier {
 public:
  // `dossier`: the journal folder, relative to the current directory by
  // default (the shop's working folder).
  explicit JournalFichier(std::string dossier = "journal");

  // Keeps one line, stamped with `quand`, for the next batch. `texte` is
  // already in the file's encoding and holds no line end.
  void ajoute(const DateHeure& quand, std::string_view texte);

  // Writes the pending lines. False when a day file could not be written
  // (the folder a link, for one): its lines stay pending (within the bound)
  // for the next try.
  bool ecrit_en_attente();

  bool a_ecrire() const { return !attente_.empty(); }
  std::size_t octets_en_attente() const { return octets_; }

  // Removes the day files more than `jours` days older than `aujourdhui`
  // (by the date in their name), and creates the folder when it is missing.
  // A link in the folder's place is not followed: nothing is removed.
  void nettoie(const DateHeure& aujourdhui, int jours = 31);

  // Name of the day file of `d` ("journal\pontex_2026-12-07.log").
  std::string nom_fichier(const DateHeure& d) const;

  // Above this many pending bytes, a batch is due at once; a journal that
  // cannot be written keeps no more than eight times that much, the newest
  // lines. Large batches matter more than the system calls they save: each
  // append that grows the file is also work for the file system's own
  // journal, which the cash register's record writes then wait on.
  static constexpr std::size_t taille_lot = 1024 * 1024;

  // What the main window journals, once a process, when the day file cannot
  // be written (followed by its name); Windows-1252, as every journal text.
  static constexpr std::string_view non_ecrit =
      "Le fichier journal ne peut pas \xEAtre \xE9"
      "crit : ";

 private:
  // Pending lines of one day, each already ended.
  struct Lot {
    DateHeure jour;
    std::string texte;
  };
  void borne_attente();
  // The last line of a batch goes past taille_lot by this much at most,
  // but for a line of unusual length.
  static constexpr std::size_t marge_lot = 64 * 1024;

  std::string dossier_;
  // The stamp of the last line, made again only when the clock has moved:
  // an import keeps thousands of lines within the same second.
  DateHeure quand_horodatage_{};
  std::string horodatage_;
  std::vector<Lot> attente_;
  std::size_t octets_ = 0;
};

}  // namespace pontex

#pragma once
// The few file operations each system does its own way. The rules above them
// (bounds, all-or-nothing copies, the test hook, the I/O counts) are the same
// on every system and live once, in fichier_records.cpp and
// fichiers_transit.cpp. Internal to the platform layer.
//
// A handle is the system's own as an integer: a descriptor on Linux, a
// HANDLE on Windows, natif_aucun for none. A failure gives the system's own
// error code (errno, GetLastError), which texte_code turns into words.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "pontex/shared/resultat.h"

namespace pontex::interne {

using CodeSysteme = unsigned long;
inline constexpr std::intptr_t natif_aucun = -1;

std::string texte_code(CodeSysteme code);
// "<quoi> <chemin>: <the system's words for code>".
Resultat echec_code(const char* quoi, const std::string& chemin, CodeSysteme code);
// The code of the last failed system call.
CodeSysteme derniere_erreur();

// Closes a handle; false when the system reports a delayed write error (a
// full disk on some file systems) at the close.
bool ferme_natif(std::intptr_t natif);

// A handle closed when it goes.
class Natif {
 public:
  Natif() = default;
  explicit Natif(std::intptr_t natif) : natif_(natif) {}
  ~Natif() { (void)ferme(); }  // dropped: only a close whose result matters calls ferme()
  Natif(Natif&& autre) noexcept : natif_(std::exchange(autre.natif_, natif_aucun)) {}
  Natif& operator=(Natif&& autre) noexcept {
    if (this != &autre) {
      (void)ferme();  // replaced: its close failing changes nothing for the new one
      natif_ = std::exchange(autre.natif_, natif_aucun);
    }
    return *this;
  }
  std::intptr_t get() const { return natif_; }
  bool ok() const { return natif_ != natif_aucun; }
  bool ferme() { return ferme_natif(std::exchange(natif_, natif_aucun)); }
  std::intptr_t relache() { return std::exchange(natif_, natif_aucun); }

 private:
  std::intptr_t natif_ = natif_aucun;
};

// --- Record files, shared with the cash-register program (links followed:
// the register's folder is the shop's own setting).

struct OuvertureRecords {
  bool creer = false;            // a missing file is created empty
  bool lecture_seule = false;    // a lookup: no size asked, no type checked
  bool sans_date_acces = false;  // reads leave the access time, where allowed
};
// Opens `chemin` (Windows-style) for records. Opened for writing, it must be
// a plain file and `taille` receives its size; read-only, `taille` is 0.
Resultat ouvre_records(std::string_view chemin, const OuvertureRecords& o, std::intptr_t& natif,
                       std::int64_t& taille);
// The size of the opened file, asked without reading its times.
bool taille_records(std::intptr_t natif, std::int64_t& taille, CodeSysteme& code);
// The word of the failure message when taille_records fails.
extern const char* const verbe_taille;

// One read or write of up to `n` bytes at byte `position`: the bytes moved
// (a read gives 0 at the end of the file; a write never gives 0),
// transfert_repris when the system was interrupted before moving anything
// (the call is simply made again), transfert_rate on a failure (`code` set).
inline constexpr std::int64_t transfert_rate = -1;
inline constexpr std::int64_t transfert_repris = -2;
std::int64_t lit_a(std::intptr_t natif, void* p, std::size_t n, std::int64_t position,
                   CodeSysteme& code);
std::int64_t ecrit_a(std::intptr_t natif, const void* p, std::size_t n, std::int64_t position,
                     CodeSysteme& code);
// Puts the file's writes on the disk. A file opened read-only has none.
bool synchronise_records(std::intptr_t natif, CodeSysteme& code);

}  // namespace pontex::interne

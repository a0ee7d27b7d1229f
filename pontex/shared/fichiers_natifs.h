#pragma once
// The few file operations each system does its own way. The rules above them
// (bounds, all-or-nothing copies, the test hook, the I/O counts) are the same
// on every system and live once, in fichiers.cpp, fichier_records.cpp and
// fichiers_transit.cpp. Internal to the platform layer.
//
// A handle is the system's own as an integer: a descriptor on Linux, a
// HANDLE on Windows, natif_aucun for none. A failure gives the system's own
// error code (errno, GetLastError), which texte_code turns into words.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichiers_transit.h"
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
bool synchronise_natif(std::intptr_t natif, CodeSysteme& code);

// --- Entries of a held folder (transit folder, journal), never through a
// link.

// One name of a held folder as the system reaches it.
struct EntreeNative {
  std::string chemin;  // as the program writes it: messages and the test hook
#ifdef _WIN32
  std::wstring dossier;  // the held folder: held without delete sharing, its
                         // path keeps reaching it
  std::wstring large;    // folder and name
#else
  int dossier = -1;  // the held folder's descriptor, borrowed
  std::string nom;   // the name on disk
#endif
};

// The system's form of name `nom` (program form, a simple name) of the held
// folder; `e.chemin` is the caller's. With `existant`, an entry whose name differs only by case
// stands for it where the system tells case apart; without, the name is taken as written (a name of
// ours about to be created).
Resultat resout_entree(const DossierTenu& dossier, std::string_view nom, bool existant,
                       EntreeNative& e);

// A held folder's own handle, or a folder opened by path (links followed:
// the transit folder is the shop's own setting), or a sub-folder of a held
// one never through a link.
OuvertureDossier ouvre_dossier_natif(std::string_view chemin, std::intptr_t& natif);
OuvertureDossier ouvre_sous_dossier_natif(const DossierTenu& parent, std::string_view nom,
                                          std::intptr_t& natif);
// Puts the folder's own changes on the disk, as far as the system can.
Resultat synchronise_dossier_natif(const DossierTenu& dossier);

// Opening an existing entry, never through a link: for reading, for reading
// and cutting, or for flushing what was written.
enum class Acces { lecture, modification, vidage };
bool ouvre_existant(const EntreeNative& e, Acces acces, Natif& f, CodeSysteme& code);
// After a failed ouvre_existant: whether the entry was missing, or is a
// link or a folder (refused as "not a file").
bool absent(CodeSysteme code);
bool lien_ou_dossier(const EntreeNative& e, CodeSysteme code);

// Creates the entry, failing when anything stands under its name (a link
// included); `deja_pris` then says so.
bool cree_exclusif(const EntreeNative& e, Natif& f, CodeSysteme& code, bool& deja_pris);
// Opens the entry for writing from its start (emptied), for appending
// (created when missing), or for appending to an existing one. A link there
// is removed and a plain file created in its place; anything else that is
// not a plain file refuses.
enum class Ecriture { remplace, ajoute, ajoute_existant };
Resultat ouvre_ecriture(const EntreeNative& e, Ecriture mode, Natif& f);
// Writes all `n` bytes at the handle's position; the error is left for
// derniere_erreur().
bool ecrit_suite(std::intptr_t natif, const char* p, std::size_t n);
// Cuts the file to `taille` bytes.
bool coupe_a(std::intptr_t natif, std::int64_t taille, CodeSysteme& code);

// What stands under a name, the entry itself.
enum class Genre { absent, lien, autre };
bool genre(const EntreeNative& e, Genre& g, CodeSysteme& code);
// A plain file on a disk (not a folder, link, pipe or device) and its size,
// from an opened handle. False when the system cannot say.
bool etat_ouvert(std::intptr_t natif, bool& simple, std::uint64_t& taille, CodeSysteme& code);
// Size and last change of the entry when it is a plain file.
bool etat_entree(const EntreeNative& e, std::int64_t& taille, std::chrono::nanoseconds& date);

// Renames within the held folder, replacing whatever stands under `vers`
// (a link included) without following it.
bool renomme_natif(const EntreeNative& de, const EntreeNative& vers, CodeSysteme& code);
// Removes the entry itself: a link, never its target.
bool supprime_natif(const EntreeNative& e, CodeSysteme& code);
// Removes a link, to a file or to a folder.
bool supprime_lien(const EntreeNative& e, CodeSysteme& code);

// Names of the held folder's plain files matching `motif`, in list order.
bool liste_noms(const DossierTenu& dossier, std::string_view motif, std::vector<std::string>& noms,
                CodeSysteme& code);

// Every entry of the held folder but hidden ones and folders whose program
// form matches `motif`, in the folder's order, with its kind (see
// entrees_dossier.h).
bool lit_entrees(const DossierTenu& dossier, std::string_view motif,
                 std::vector<EntreeDossier>& entrees, CodeSysteme& code);

// --- Files named by a path (fichiers.h): the register's folder, the
// configuration, the startup folder; links followed, as the shop set them.

#ifdef _WIN32
using TexteNatif = std::wstring;
#else
using TexteNatif = std::string;
#endif
struct CheminNatif {
  std::string montre;  // in messages: the Linux path, or the path as written on Windows
  TexteNatif natif;    // what the system is given
};
// The path as the system reaches it (see fichiers.h); false when it holds a
// NUL byte, which would cut it short and name another file.
bool resout_natif(std::string_view chemin, CheminNatif& c);

// Opens an existing file for reading, or a file for writing from its start
// (created when missing, not emptied: the caller cuts it once it knows what
// it opened).
enum class Usage { lecture, ecriture };
bool ouvre_chemin(const CheminNatif& c, Usage usage, Natif& f, CodeSysteme& code);
// Whether two opened handles reach one file (another case, a short name, a
// link); false when the system cannot say.
bool meme_fichier(std::intptr_t a, std::intptr_t b);

// What stands under a path: a plain file not hidden (its name on Linux, its
// attributes on Windows), a folder, anything at all (a link itself).
bool fichier_visible(const CheminNatif& c);
bool est_dossier(const CheminNatif& c);
bool existe_natif(const CheminNatif& c);
// The size of a plain file, never through a link.
bool taille_chemin(const CheminNatif& c, std::int64_t& taille);

// Plain files of a folder matching `motif`, hidden ones left out, in list
// order: their program names and their paths.
bool liste_chemin(const CheminNatif& dossier, std::string_view motif,
                  std::vector<std::string>& noms, std::vector<CheminNatif>& chemins,
                  CodeSysteme& code);

// `nouveau` is the caller's text for `vers`: where it names the file itself
// in another case, the name is changed as written.
bool renomme_chemin(const CheminNatif& de, const CheminNatif& vers, std::string_view nouveau,
                    CodeSysteme& code);
bool supprime_chemin(const CheminNatif& c, CodeSysteme& code);
bool cree_dossier_chemin(const CheminNatif& c, CodeSysteme& code);
// Puts a folder's own changes on the disk, as far as the system allows.
Resultat synchronise_chemin(const CheminNatif& dossier);

// 64 unpredictable bits, for the names of our temporary files.
std::uint64_t alea();

}  // namespace pontex::interne

#pragma once
// Files of the transit folder, which the stock server writes through a share
// and which the shop's user does not control: every file there is reached as
// one name inside a folder held open, never through a link, and never read
// beyond a bound. The journal's folder beside "Pontex.wdo" follows the same
// rules.
//
// A folder is opened once (DossierTenu) and every operation of an exchange
// goes through that handle: once held, a folder name swapped for a link
// leads nowhere, as the next operation does not look the name up again. A
// sub-folder that is itself a link, or not a folder, is refused when it is
// opened. `nom` is one name as a listing gave it or as the program makes it.
// A name that the system could read as a path ("a\b", "..", "C:x",
// "a.txt:flux") is refused by every operation here.
//
// Nothing here follows a link in the last component: an entry that is a
// link is read as "not a plain file", and a link standing where Pontex writes
// a file (a kept copy, the error file, an archive copy, an export) is
// replaced by a plain file, never written through. Files are written under a
// temporary name created exclusively, then renamed, so a half-written file
// is never seen under its final name and no one can prepare that temporary
// name in advance.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/resultat.h"

namespace pontex {

// True when `nom` is a single plain name: not empty, not "." or "..", no
// '\', '/', ':', control character or Windows wildcard / reserved mark
// ("*?\"<>|"), and no trailing dot or space (Windows drops them, so the name
// would reach another file).
bool nom_simple(std::string_view nom);

// A folder held open: a file descriptor on Linux, a handle on Windows
// (opened without delete sharing, so the folder can be neither renamed nor
// removed while held). Closed when destroyed.
class DossierTenu {
 public:
  DossierTenu() = default;
  ~DossierTenu() { ferme(); }
  DossierTenu(DossierTenu&& autre) noexcept;
  DossierTenu& operator=(DossierTenu&& autre) noexcept;
  DossierTenu(const DossierTenu&) = delete;
  DossierTenu& operator=(const DossierTenu&) = delete;

  bool ouvert() const { return natif_ != ferme_; }
  // The folder as the program writes it, with a final backslash ("" for the
  // current directory): for messages, the test hook and, on Windows, the
  // paths inside it.
  const std::string& chemin() const { return chemin_; }
  void ferme();

  // For the platform layer: the descriptor or HANDLE, and taking one over.
  std::intptr_t natif() const { return natif_; }
  void prend(std::intptr_t natif, std::string chemin);

 private:
  static constexpr std::intptr_t ferme_ = -1;
  std::intptr_t natif_ = ferme_;
  std::string chemin_;
};

enum class OuvertureDossier {
  ouvert,
  absent,
  refuse,  // a link, a junction, or something that is not a folder
  echec,   // there, but the system would not open it
};

// The folder `chemin` itself, links followed: the transit folder and the
// program's own folder ("") are the shop's own settings.
OuvertureDossier ouvre_dossier(std::string_view chemin, DossierTenu& dossier);
// The sub-folder `nom` of `parent`, never through a link.
OuvertureDossier ouvre_sous_dossier(const DossierTenu& parent, std::string_view nom,
                                    DossierTenu& dossier);
// The folder `chemin` whose last name is a sub-folder of the rest: the rest
// followed as a setting, the last name never through a link ("journal" in
// the current directory).
OuvertureDossier ouvre_dossier_sans_lien(std::string_view chemin, DossierTenu& dossier);

// One name in a held folder.
struct Emplacement {
  const DossierTenu& dossier;
  std::string nom;
};

// Why a source was refused without an attempt to copy it.
enum class Refus {
  aucun,
  pas_un_fichier,   // a link, folder, pipe, device, or a name that is not simple
  trop_volumineux,  // larger than the bound given
};

// Copies the plain file `source` to every destination, each through a
// temporary file of the destination's folder renamed over it. The source is
// opened without following a link and its size is checked on the opened
// handle: more than `taille_max` bytes refuses the copy (`refus` says why).
// When any destination fails, none of them is left changed in part: the
// destinations already renamed keep the whole new content, the others their
// old one, and the result is a failure. `vu`, when given, sees every block
// copied, in order: what the copy read need not be read again.
Resultat copie_entree(const Emplacement& source, const std::vector<Emplacement>& destinations,
                      std::uint64_t taille_max, Refus& refus,
                      const std::function<void(std::string_view)>& vu = {});

// Writes `contenu` into a new file of `dossier` created exclusively under an
// unpredictable name ending in ".tmp" (a name the server does not collect),
// and gives that name.
Resultat ecrit_temporaire(const DossierTenu& dossier, std::string_view contenu,
                          std::string& nom_temporaire);
// Renames inside one folder; whatever stands under `nouveau` (a link
// included) is replaced, never followed.
Resultat renomme_entree(const DossierTenu& dossier, std::string_view ancien,
                        std::string_view nouveau);
// Writes `contenu` straight under `nom` (for folders that refuse renames):
// an existing plain file is replaced in place, a link is removed first.
Resultat ecrit_entree(const Emplacement& fichier, std::string_view contenu);
// Appends to `nom`, creating it: a link is removed first and a new plain file
// made, anything else that is not a plain file refuses.
Resultat ajoute_entree(const Emplacement& fichier, std::string_view contenu);
// True when ajoute_entree could write to `nom` now: an existing plain file
// opens for appending, or a missing one can be created (it is created and
// removed again, so nothing is left behind). A link in the way is removed.
Resultat verifie_ajout(const Emplacement& fichier);
// Removes the entry itself (a link is removed, not its target).
Resultat supprime_entree(const Emplacement& fichier);
// An append of `ligne` cut short (a full disk) leaves its first bytes at the
// end of the file, and the next line would be glued to them. When the plain
// file holds more than `taille` bytes, fewer than `taille` + the line's
// length, and the bytes past `taille` are the start of `ligne`, the file is
// cut back to `taille`; anything else is left as it is. A link is never
// followed.
Resultat retire_ajout_coupe(const Emplacement& fichier, std::int64_t taille,
                            std::string_view ligne);
// Puts what was written to the plain file on the disk (a link is never
// followed). Costly: once per received file, never per line.
Resultat synchronise_entree(const Emplacement& fichier);
// Puts the held folder's own changes (files created, renamed or removed in
// it) on the disk: the folder held, whatever its name leads to by now.
Resultat synchronise_dossier(const DossierTenu& dossier);

// Names of the folder's plain files matching `motif`, in the order of the
// window's file lists (see liste_fichiers): what the exchange takes, read
// from the held folder rather than from the list the window shows.
Resultat liste_entrees(const DossierTenu& dossier, std::string_view motif,
                       std::vector<std::string>& noms);
// Size and last change of a plain file, the entry itself (nothing for a
// link, a folder or a device).
std::optional<std::int64_t> taille_entree(const Emplacement& fichier);
std::optional<std::chrono::nanoseconds> date_entree(const Emplacement& fichier);
// Up to `n` bytes of a plain file from byte `position` (from 0).
Resultat lit_entree(const Emplacement& fichier, std::int64_t position, std::size_t n,
                    std::string& octets);

// True for the names of our own temporary files exactly: "pontex-", 16
// lower-case hex digits, ".tmp".
bool nom_temporaire_pontex(std::string_view nom);
// Removes our temporary files that a stopped process left in the folder
// (a kill during a write), and nothing else.
void supprime_temporaires(const DossierTenu& dossier);

// Bound of one received file: what a shop's movement file can reasonably
// hold, far below what would fill a disk or the memory.
inline constexpr std::uint64_t taille_max_recu = 64ull * 1024 * 1024;

}  // namespace pontex

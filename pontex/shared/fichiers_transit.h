#pragma once
// Files of the transit folder, which the stock server writes through a share
// and which the shop's user does not control: every file there is reached as
// one name inside a known folder, never through a link, and never read
// beyond a bound.
//
// `dossier` is a Windows-style folder value as in fichiers.h ("" = the
// current directory); `nom` is one name as a listing gave it or as the
// program makes it. A name that the system could read as a path ("a\b",
// "..", "C:x", "a.txt:flux") is refused by every operation here.
//
// Nothing here follows a link in the last component: an entry that is a
// link is read as "not a plain file", and a link standing where Pontex writes
// a file (a kept copy, the error file, an archive copy, an export) is
// replaced by a plain file, never written through. Files are written under a
// temporary name created exclusively, then renamed, so a half-written file
// is never seen under its final name and no one can prepare that temporary
// name in advance.

#include <cstdint>
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

struct Emplacement {
  std::string dossier;
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
// old one, and the result is a failure.
Resultat copie_entree(const Emplacement& source, const std::vector<Emplacement>& destinations,
                      std::uint64_t taille_max, Refus& refus);

// Writes `contenu` into a new file of `dossier` created exclusively under an
// unpredictable name ending in ".tmp" (a name the server does not collect),
// and gives that name.
Resultat ecrit_temporaire(std::string_view dossier, std::string_view contenu,
                          std::string& nom_temporaire);
// Renames inside one folder; whatever stands under `nouveau` (a link
// included) is replaced, never followed.
Resultat renomme_entree(std::string_view dossier, std::string_view ancien,
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

// Bound of one received file: what a shop's movement file can reasonably
// hold, far below what would fill a disk or the memory.
inline constexpr std::uint64_t taille_max_recu = 64ull * 1024 * 1024;

}  // namespace pontex

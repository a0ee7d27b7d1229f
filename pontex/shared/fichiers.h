#pragma once
// File system operations of the platform layer, the same on every system.
//
// Every path given here is a Windows-style text in single-byte Windows-1252
// (ANSI code page) bytes, exactly as it comes from "Pontex.wdo" or from a
// folder value plus a file name: "C:\Caisse\Données\w_caiar4.wdo",
// "import\histo", "prov_stk_ana_ron.txt". Relative paths resolve against the
// current directory. The layer turns them into native paths:
//  - on Linux, each backslash is a "/", the bytes are converted from
//    Windows-1252 to the file system's UTF-8 (glibc iconv), and names are
//    matched case-insensitively as on Windows: the exact name is tried first,
//    then a case-insensitive match in its folder, component by component. A
//    file is never created beside an existing one whose name differs only by
//    case: the existing one is used.
//  - on Windows, the ANSI code page is turned into a wide path.
// Names returned by listings come back as Windows-1252 bytes.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/resultat.h"

namespace pontex {

// Native path (UTF-8 on Linux, UTF-8 of the wide path on Windows) of an
// existing file or folder, or of the one that would be created. Used for
// messages and by tests; file operations call it themselves.
std::string chemin_natif(std::string_view chemin);

// Windows wildcard match: '*' any run, '?' one character, case-insensitive
// (Windows-1252 letters included, "É" matches "é").
bool correspond_motif(std::string_view nom, std::string_view motif);

// Names of the plain files of `dossier` matching `motif`, hidden and system
// files left out (on Linux: names beginning with "."), sorted by name
// ignoring case. This is what a file list box shows. A folder that does not
// exist gives a failed result and no names.
Resultat liste_fichiers(std::string_view dossier, std::string_view motif,
                        std::vector<std::string>& noms);

// Existence of a plain, non-hidden file; `chemin` may end with a pattern
// ("C:\Users\x\Startup\Pontex*").
bool existe_fichier(std::string_view chemin);
bool existe_dossier(std::string_view chemin);
// Whether anything at all stands under that name: a file, a folder, a link
// (even one that leads nowhere), hidden or not. The link itself is looked at.
bool existe_entree(std::string_view chemin);

// Copy with replacement of an existing destination.
Resultat copie_fichier(std::string_view source, std::string_view destination);
// Rename, replacing an existing destination.
Resultat renomme_fichier(std::string_view ancien, std::string_view nouveau);
Resultat supprime_fichier(std::string_view chemin);
// Deletes every plain, non-hidden file of the folder part of `chemin` whose
// name matches its last component. An empty pattern deletes nothing and fails.
Resultat supprime_motif(std::string_view chemin);
// Creates one folder (the parent must exist); fails if it already exists.
Resultat cree_dossier(std::string_view chemin);
// Puts the folder's own changes (files created, renamed or removed in it)
// on the disk: after a power cut a rename made before this is not undone.
// "" is the current folder. On Windows the file system journals its folder
// changes itself and a folder cannot always be flushed: done where allowed.
Resultat synchronise_dossier(std::string_view chemin);

// Size in bytes of a plain file (a link, folder or device is not one), or
// nothing.
std::optional<std::int64_t> taille_fichier(std::string_view chemin);

// Whole text files, bytes as they are (no line-end translation).
Resultat lit_texte(std::string_view chemin, std::string& contenu);
// Replaces the file's content; a text cut short (full disk) is removed
// rather than left to be read as a whole one.
Resultat ecrit_texte(std::string_view chemin, std::string_view contenu);

// --- Test support -----------------------------------------------------------
// Operations that tests can make fail on purpose.
enum class Operation {
  ouverture,
  lecture,
  ecriture,
  copie,
  renommage,
  suppression,
  creation_dossier,
  listage,
  synchronisation  // a file's or a folder's writes put on the disk
};
// The hook sees the operation and the path as given by the caller; returning
// true makes that operation fail before it touches the disk. Empty = none.
using CrochetEchec = std::function<bool(Operation, std::string_view chemin)>;
void installe_crochet_echec(CrochetEchec crochet);

// Counts of record reads and writes (system calls on record files), for the
// benchmarks and for tests that check what a lookup reads.
struct CompteursES {
  std::uint64_t lectures = 0;
  std::uint64_t ecritures = 0;
  std::uint64_t ouvertures = 0;
};
CompteursES& compteurs_es();

}  // namespace pontex

#pragma once
// Windows-style paths of the cash register and the transit folder turned into
// Linux paths: code page conversion and case-insensitive name matching.
// Internal to the Linux half of the platform layer.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pontex::interne {

// Windows-1252 bytes to UTF-8. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of
// the same number, as the workstation maps them, so no name is ever lost.
std::string utf8_depuis_1252(std::string_view texte);

// UTF-8 to Windows-1252; nothing when a character has no Windows-1252 byte
// or the bytes are not UTF-8.
std::optional<std::string> cp1252_depuis_utf8(std::string_view texte);

// The program form of a name on disk: its Windows-1252 text, where the bytes
// that have none (not UTF-8, or a character outside the code page) and a
// backslash are written as escapes (see octet_echappe). Never fails.
std::string nom_programme(std::string_view nom_disque);
// The name on disk of a name in program form: the escapes back to their
// bytes, the rest from Windows-1252 to UTF-8.
std::string nom_disque(std::string_view nom);

// Native form of a Windows-style path as written (separators and code page
// only, no name matching); nothing when it holds a NUL byte.
std::optional<std::string> chemin_tel_quel(std::string_view chemin);

// Native path of a Windows-style path (see fichiers.h): exact name first,
// then a case-insensitive match, component by component; a component that
// matches nothing is kept as written (a file or folder to be created).
// Nothing when the path holds a NUL byte (it would be cut short by the
// system and name another file). An empty path is the current directory.
std::optional<std::string> resout_chemin(std::string_view chemin);

// The name on disk of entry `nom` (program form, see nom_programme) of the
// native folder `dossier`: the name as written when an entry has it, else an entry whose
// name matches it ignoring case, else the name as written (to be created).
// Links are entries like any other: nothing is followed.
std::string resout_nom(const std::string& dossier, std::string_view nom);
// The same in a folder held open as `dossier` (a descriptor); with
// `dossier_voulu`, a folder (not a link to one) goes first among the names
// matching ignoring case.
std::string resout_nom(int dossier, std::string_view nom, bool dossier_voulu = false);

// `dossier` + "/" + `nom`, where an empty folder is the current directory.
std::string joint_chemin(const std::string& dossier, std::string_view nom);

// One entry of a native folder: its name on disk (UTF-8) and as the program
// sees it (Windows-1252).
struct Entree {
  std::string nom_utf8;
  std::string nom_1252;
};

// Plain files (symbolic links to plain files included) of a native folder
// whose names match the Windows wildcard pattern, hidden names (leading
// ".") left out, in list order. False when the folder cannot be read;
// `erreur` then holds the errno value.
bool liste_natif(const std::string& dossier, std::string_view motif, std::vector<Entree>& entrees,
                 int& erreur);
// The same for a folder held open as `dossier` (a descriptor), read through
// a copy of the descriptor so that the held one is left as it was.
bool liste_natif(int dossier, std::string_view motif, std::vector<Entree>& entrees, int& erreur);

}  // namespace pontex::interne

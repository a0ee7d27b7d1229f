#pragma once
// Paths and names between the program's ANSI code page texts and the wide
// texts of the Windows API. Internal to the Windows half of the platform
// layer.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pontex::interne {

// ANSI code page (the shop's Windows-1252) to UTF-16.
std::wstring large_depuis_ansi(std::string_view texte);
// UTF-16 to the ANSI code page; nothing when a character has no byte there
// (no best-fit guess: "Ā" must not come back as "A" and name another file).
std::optional<std::string> ansi_depuis_large(std::wstring_view texte);
std::string utf8_depuis_large(std::wstring_view texte);

// The wide path of a path given to the layer; nothing when it holds a NUL
// byte. An empty path is the current directory.
std::optional<std::wstring> chemin_large(std::string_view chemin);
std::wstring joint_large(const std::wstring& dossier, std::wstring_view nom);

// Text of a system error code, for the reasons of failed steps.
std::string texte_erreur(unsigned long code);

// Plain files of a folder whose names match the pattern, hidden and system
// files left out, in list order: `noms_ansi` for the program, `noms_larges`
// to reach them. False when the folder cannot be listed (`erreur` set).
bool liste_natif(const std::wstring& dossier, std::string_view motif,
                 std::vector<std::string>& noms_ansi, std::vector<std::wstring>& noms_larges,
                 unsigned long& erreur);

}  // namespace pontex::interne

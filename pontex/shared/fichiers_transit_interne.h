#pragma once
// Pieces of fichiers_transit shared by its Linux and Windows halves.

#include <cstdint>
#include <string>
#include <string_view>

namespace pontex::interne {

// The path the test hook sees for an entry: folder, backslash, name.
std::string chemin_entree(std::string_view dossier, std::string_view nom);

// "pontex-" + 16 hex digits of `alea` + ".tmp".
std::string nom_temporaire(std::uint64_t alea);

// How many names to try when a temporary name is already taken (by chance
// or by someone who saw the folder): each try draws a new one.
inline constexpr int essais_temporaire = 16;

}  // namespace pontex::interne

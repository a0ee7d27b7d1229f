#pragma once
// Window-state store "W_intlog.wdo": a small key/value file of 128-byte
// records in the current directory that keeps the few choices that must
// survive the program's restarts (the background mode under "POSIFEN").
//
// Each record holds a key, a value and a count (the number of entries in the
// header, 0 in entries); the offsets are in inter_logg.cpp's table. The
// header's key begins with "#INIT#"; entry i is record i + 1. Keys are
// trimmed, padded or cut to 15 and upper-cased before use.

#include <string>
#include <string_view>

#include "pontex/shared/resultat.h"

namespace pontex {

inline constexpr std::string_view nom_fichier_logg = "W_intlog.wdo";

// The value stored under `cle`, all 40 characters including trailing
// spaces, or "" when the key has no entry or the store cannot be opened or
// read (the start-up then runs in normal mode).
std::string lit_logg(std::string_view cle, std::string_view chemin = nom_fichier_logg);

// Stores `valeur` (cut at 40 characters) under `cle`, creating the entry if
// needed. Reports whether the store was written.
Resultat ecrit_logg(std::string_view cle, std::string_view valeur,
                    std::string_view chemin = nom_fichier_logg);

}  // namespace pontex

#pragma once
// "Pontex.wdo" as the settings window reads and saves it: free text the shop
// edits, not the values the loader takes from it. The window's reading is
// its own on purpose (the text box shows every line as it stands), so its
// rules live here beside the loader, each named: how lines are split for the
// text box, which "#TRANSIT#" the folder tree is made for, and how the file
// is put back on the disk.

#include <optional>
#include <string>
#include <string_view>

#include "pontex/shared/resultat.h"

namespace pontex {

// The file's bytes as the text box holds them: every line, whatever ended it
// in the file (CR LF, CR or LF), followed by one LF, the last line included.
// "a\r\nb" gives "a\nb\n"; an empty file gives "".
std::string lignes_parametrage(std::string_view contenu);

// The transit folder typed in the settings text, for making its folder tree
// before the restart: the text after the first "#TRANSIT#" (upper case, as
// the loader wants it) up to the end of its line, wherever the key stands in
// the line, so a key typed after other text counts too. A "|" starts a
// comment; with one, spaces around the folder are dropped. Nothing when the
// text holds no key.
std::optional<std::string> transit_saisi(std::string_view texte);

// Makes the transit folder and its four sub-folders where missing. Each
// creation that fails (its parent missing, a file in the way) is skipped and
// the next one still tried: the next exchange says what is missing.
void cree_dossiers_transit(const std::string& chemin);

// Replaces "Pontex.wdo" with `contenu`: written whole and put on the disk
// under a temporary name, then renamed over the old file, so that a power
// cut leaves the old settings or the new ones, never half of each. Where the
// folder lets us create but not rename (some shared folders), the file is
// written in place rather than not at all.
Resultat enregistre_parametrage(std::string_view contenu);

}  // namespace pontex

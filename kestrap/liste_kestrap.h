#pragma once
// The list file "kestrap.wdo" that ships beside the programs: it tells the
// registration tool which entry file to put into the Startup folder, which
// title to show and which command brings the user back to Pontex.
//
// One entry per line: a three-character tag, compared case-sensitively, then
// the value up to the end of the line or to the first "|" (the rest is a
// comment), trimmed of spaces. When a tag comes twice, the last line wins.
//   #R#Pontex.desktop    | entry file, copied into the Startup folder
//   #N#Pontex            | title shown in the window
//   #P#'/opt/pontex/bin/Pontex'   | command started by "Fin"

#include <optional>
#include <string>
#include <string_view>

namespace kestrap {

// Values as Windows-1252 bytes, as in the file. A tag that the file does not
// give has no value; a tag with nothing after it gives an empty value.
struct ListeKestrap {
  std::optional<std::string> nom_entree;       // "#R#"
  std::optional<std::string> titre;            // "#N#"
  std::optional<std::string> commande_retour;  // "#P#"
};

// The values of a list file's whole text.
ListeKestrap analyse_liste(std::string_view contenu);

// Reads the list file (relative paths against the current folder). A file
// that is missing or cannot be read gives no value at all.
ListeKestrap lit_liste(std::string_view chemin);

}  // namespace kestrap

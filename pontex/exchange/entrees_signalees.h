#pragma once
// Entries of the import folder that the exchange leaves where they are for
// good (a link, a pipe, a name that is not one plain name, a file above the
// size bound, a file whose name does not end in ".txt"): each is said in the
// journal once a day, not at every exchange, so that a folder cluttered by
// the server's side does not bury what the exchanges do. Each exchange is a
// new process: "entrees_signalees.wdo" beside "Pontex.wdo" keeps the day and
// a digest of each reason and name said that day. Lost or unreadable, the
// entries are said once more; nothing else depends on it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/horloge.h"

namespace pontex {

inline constexpr std::string_view nom_fichier_signalees = "entrees_signalees.wdo";

class EntreesSignalees {
 public:
  // Reads what was said today from the file in `courant` (the program's
  // folder). A file of another day remembers nothing.
  void charge(const DossierTenu& courant, const DateHeure& aujourdhui);

  // True when `texte` (the journal line's start) has not been said about
  // `nom` today; it counts as said from now on.
  bool a_dire(std::string_view texte, std::string_view nom);

  // Writes the file again when something new was said. Not written: those
  // entries are said again by the next exchange.
  void enregistre(const DossierTenu& courant);

  // Bound of the file (about 18 bytes an entry): beyond it, an entry is
  // said at every exchange rather than remembered.
  static constexpr std::size_t entrees_max = 20000;

 private:
  std::string jour_;  // "2026-12-05"
  std::unordered_set<std::uint64_t> dits_;
  bool change_ = false;
};

}  // namespace pontex

#pragma once
// Which journal lines tell the shop that something went wrong or was
// refused: a record not applied, a file left in the import folder, an
// analysis stopped, an export not written. The window makes them stand out
// among the movement lines; the line itself, on screen and in the journal
// file, stays as the exchange wrote it.

#include <string_view>

namespace pontex {

// `message`: a journal line's text after its stamp and " - ", in
// Windows-1252, as the exchange hands it to the window.
bool est_alerte_journal(std::string_view message);

// The same for a whole line "dd-mm hh:mm:ss - message" of the journal.
bool est_ligne_alerte_journal(std::string_view ligne);

}  // namespace pontex

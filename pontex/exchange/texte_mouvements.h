#pragma once
// The stock movement text the server drops into the import folder (and the
// random sales generator writes): one record per line, reference, TAB,
// quantity, maybe more TAB-separated text after it.

#include <cstddef>
#include <string_view>
#include <vector>

#include "pontex/shared/texte.h"

namespace pontex {

struct RecordMouvement {
  // Before the first TAB (the whole record without TAB), spaces kept.
  std::string_view reference;
  // After the first TAB, as received (empty without TAB).
  std::string_view texte_quantite;
  // The file was UTF-8 and the reference held a character Windows-1252
  // cannot hold, now "?": it could only match the wrong article.
  bool caractere_remplace = false;
};

// Cuts the text into records. A record ends at LF, CR LF or a lone CR, so
// files from Windows, Linux and old Mac editors all apply in full; an empty
// line is an empty record. Text after the last line end is left out: it may
// be a record the server has not finished writing. The views point into
// `texte`.
std::vector<RecordMouvement> decoupe_records(std::string_view texte);

// One record's text (its line end left out) cut at its first TAB.
// `remplace` is the position of the first character the conversion from
// UTF-8 had to replace (LigneAnalyse::remplace), npos for none.
RecordMouvement coupe_record(std::string_view ligne, std::size_t remplace = std::string_view::npos);

// A record's quantity, read once: the number to apply, or why the record is
// refused, the text its error line starts with.
struct QuantiteRecord {
  double valeur = 0.0;
  // Empty when the record can be applied; otherwise textes::erreur_quantite
  // or textes::erreur_virgule.
  std::string_view refus;
};

// The numeric text reader over what follows the TAB, held to what the
// server means by it:
// - nothing but blanks (or no TAB at all) reads 0, a movement of nothing;
// - the number must start the text (blanks before it skipped): a word, a
//   lone sign ("dix", "-", "kg 5") would read 0 and is refused;
// - the number must not run on across a TAB: "2<TAB>1.99" would read 21.99
//   from two columns and is refused; spaces inside it are the reader's
//   ("1 000" is 1000), and whatever follows the number is left alone
//   ("5 kg", "2<TAB>offert" read 5 and 2);
// - a number beyond a double ("1e400") or beyond the register's
//   single-precision stock fields is refused;
// - a decimal comma that carries decimals right after the number ("1,5",
//   "1.,5") is refused: the reader stops at the comma and would give 1,
//   while the server meant 1.5. A comma that loses nothing ("2,", "2,00",
//   what the sales generator writes on a French workstation) reads the very
//   number meant.
// A word, a TAB inside the number and a number too large refuse with
// erreur_quantite, the comma with erreur_virgule.
QuantiteRecord lit_quantite(const RecordMouvement& record);

}  // namespace pontex

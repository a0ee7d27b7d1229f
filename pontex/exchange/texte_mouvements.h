#pragma once
// The stock movement text the server drops into the import folder (and the
// random sales generator writes): one record per line, reference, TAB,
// quantity, maybe more TAB-separated text after it.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

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

// The quantity of a record by the numeric text reader (nothing after the TAB
// reads 0), or nothing when the register cannot hold it: a number beyond a
// double ("1e400") or beyond the single-precision stock fields.
std::optional<double> quantite_record(const RecordMouvement& record);

// The quantity is written with a decimal comma that carries decimals
// ("1,5"): digits, a comma, digits not all zeros, as the reader sees them
// (blanks skipped). The reader stops at the comma and would give 1; the
// server meant 1.5, so such a record is refused rather than applied with a
// smaller quantity. "2,00" reads 2, the number meant.
bool virgule_decimale(const RecordMouvement& record);

// Spaces removed at both ends (only spaces: a reference may hold TABs).
std::string_view sans_espaces(std::string_view texte);

}  // namespace pontex

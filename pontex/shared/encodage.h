#pragma once
// Text files that people edit by hand ("Pontex.wdo") arrive in two
// encodings: the shop's Windows-1252, and UTF-8, which is what every Linux
// editor writes. The program works in Windows-1252 bytes; these tell the
// two apart and bring UTF-8 back to Windows-1252.

#include <cstddef>
#include <string>
#include <string_view>

namespace pontex {

// True when `octets` is valid UTF-8 and holds at least one non-ASCII
// character. Accented Windows-1252 text is practically never valid UTF-8
// ("é" alone is a cut-short sequence), and pure ASCII reads the same
// either way.
bool est_utf8_etendu(std::string_view octets);

// The same question for a file read block by block: a character may
// straddle two blocks. Feed the blocks in order, then ask.
class DetectionUtf8 {
 public:
  void ajoute(std::string_view octets);
  bool utf8_etendu() const { return valide_ && reste_.empty() && etendu_; }

 private:
  std::string reste_;  // the start of a character cut by the end of a block
  bool valide_ = true;
  bool etendu_ = false;
};

// UTF-8 to Windows-1252 bytes, appended to `sortie`, for a text that may
// also hold bytes that are no UTF-8 (an excerpt cut in the middle of a
// character): each of those, and each character Windows-1252 cannot hold,
// becomes "?". Returns the position in `sortie` of the first "?" put in
// place of something, std::string::npos when the text came through whole.
std::size_t vers_cp1252(std::string_view utf8, std::string& sortie);

// Length of the UTF-8 sequence starting at `s[i]`, 0 when it is not a
// well-formed one (overlong forms, surrogates and values beyond U+10FFFF
// included).
std::size_t longueur_sequence_utf8(std::string_view s, std::size_t i);

// UTF-8 to Windows-1252 bytes. A character that Windows-1252 cannot hold
// becomes "?", as the system's own conversion to the code page does.
// `utf8` must be valid UTF-8.
std::string cp1252_depuis_utf8_valide(std::string_view utf8);

// Windows-1252 bytes (the journal's texts) to UTF-8, for files read outside
// the shop's workstation software (the status file that monitoring reads).
std::string utf8_depuis_cp1252(std::string_view octets);

}  // namespace pontex

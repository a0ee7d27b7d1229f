// The server's stock movement text: record splitting, each quantity read or
// refused (a word, a number across a TAB, the decimal comma), the two number
// formats that write it back into the journal and the error file, and the
// telling of UTF-8 from Windows-1252 with the conversion of a UTF-8 file's
// lines.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "pontex/exchange/texte_mouvements.h"
#include "pontex/exchange/textes_journal.h"
#include "pontex/shared/encodage.h"
#include "pontex/shared/nombres.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view texte(reinterpret_cast<const char*>(data), size);
  for (const pontex::RecordMouvement& record : pontex::decoupe_records(texte)) {
    // Both views lie inside the text.
    if (record.reference.data() < texte.data() ||
        record.reference.data() + record.reference.size() > texte.data() + texte.size())
      __builtin_trap();
    const pontex::QuantiteRecord quantite = pontex::lit_quantite(record);
    const std::string_view q = record.texte_quantite;
    if (quantite.refus.empty()) {
      // Applied: a number the register's fields hold, and read from a digit
      // whenever something was written after the TAB.
      if (!std::isfinite(quantite.valeur) ||
          std::fabs(quantite.valeur) > static_cast<double>(std::numeric_limits<float>::max()))
        __builtin_trap();
      if (q.find_first_not_of(" \t\n") != std::string_view::npos &&
          q.find_first_of("0123456789abcdefABCDEF") == std::string_view::npos)
        __builtin_trap();
      (void)pontex::format_deux_decimales(quantite.valeur, ',');
      (void)pontex::format_nombre_imprime(quantite.valeur, '.');
    }
    // A refused comma always stands in the quantity's text.
    if (quantite.refus == pontex::textes::erreur_virgule && q.find(',') == std::string_view::npos)
      __builtin_trap();
  }
  if (const auto n = pontex::lit_nombre_sur(texte)) {
    (void)pontex::format_general(*n, ',');
    (void)pontex::arrondi_pair(*n, -32768, 32767);
  }

  // The file read in two blocks, cut anywhere, is told as read whole.
  pontex::DetectionUtf8 detection;
  detection.ajoute(texte.substr(0, size / 3));
  detection.ajoute(texte.substr(size / 3));
  if (detection.utf8_etendu() != pontex::est_utf8_etendu(texte)) __builtin_trap();
  // Converted as a UTF-8 file's line: never longer, and the first
  // replacement, when there is one, is a "?" inside the result.
  std::string converti;
  const std::size_t remplace = pontex::vers_cp1252(texte, converti);
  if (converti.size() > texte.size()) __builtin_trap();
  if (remplace != std::string::npos && (remplace >= converti.size() || converti[remplace] != '?'))
    __builtin_trap();
  const pontex::RecordMouvement record = pontex::coupe_record(converti, remplace);
  if (record.caractere_remplace && remplace >= record.reference.size()) __builtin_trap();
  return 0;
}

// The server's stock movement text: record splitting, the numeric reader on
// each quantity, and the two number formats that write it back into the
// journal and the error file.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pontex/exchange/texte_mouvements.h"
#include "pontex/shared/nombres.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view texte(reinterpret_cast<const char*>(data), size);
  for (const pontex::RecordMouvement& record : pontex::decoupe_records(texte)) {
    // Both views lie inside the text.
    if (record.reference.data() < texte.data() ||
        record.reference.data() + record.reference.size() > texte.data() + texte.size())
      __builtin_trap();
    if (const auto quantite = pontex::quantite_record(record)) {
      (void)pontex::format_deux_decimales(*quantite, ',');
      (void)pontex::format_nombre_imprime(*quantite, '.');
    }
  }
  if (const auto n = pontex::lit_nombre_sur(texte)) {
    (void)pontex::format_general(*n, ',');
    (void)pontex::arrondi_pair(*n, -32768, 32767);
  }
  return 0;
}

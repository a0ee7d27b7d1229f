// The status file "pontex_etat.json" as pontex-etat reads it: whatever stands
// under that name, one line and one of the four statuses.

#include <cstddef>
#include <cstdint>
#include <string>

#include "pontex/exchange/etat_echange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string texte(reinterpret_cast<const char*>(data), size);
  const pontex::Verdict v = pontex::juge_etat(texte, 1796648737);
  if (v.code < 0 || v.code > 3 || v.ligne.find('\n') != std::string::npos) __builtin_trap();
  // What is read back is written again the same way.
  if (const auto e = pontex::lit_texte_etat(texte)) {
    const auto encore = pontex::lit_texte_etat(pontex::texte_etat(*e));
    if (!encore || pontex::texte_etat(*encore) != pontex::texte_etat(*e)) __builtin_trap();
  }
  return 0;
}

// kestrap's list file "kestrap.wdo".

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kestrap/liste_kestrap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kestrap::ListeKestrap liste =
      kestrap::analyse_liste(std::string_view(reinterpret_cast<const char*>(data), size));
  // A value never holds the comment bar nor a line end.
  for (const auto& v : {liste.nom_entree, liste.titre, liste.commande_retour}) {
    if (v && v->find('|') != std::string::npos) __builtin_trap();
  }
  return 0;
}

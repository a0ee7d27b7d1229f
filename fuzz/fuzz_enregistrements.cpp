// The cash register's records as they come from its files: every field
// decoder of the three record kinds, and the article lookup through an index
// file of any content (counts that lie, keys out of order).

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "pontex/data/caisse.h"
#include "pontex/data/enregistrements.h"

namespace {

template <typename E>
E remplit(const std::uint8_t* data, std::size_t size) {
  E e;
  std::memcpy(e.octets.data(), data, std::min(size, e.octets.size()));
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char modele[] = "/tmp/pontex-fuzz-caisse-XXXXXX";
  if (::mkdtemp(modele) == nullptr || ::chdir(modele) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;
  const auto a = remplit<pontex::EnregistrementArticle>(data, size);
  (void)a.code(), (void)a.designation(), (void)a.valeur(), (void)a.stock(), (void)a.quantite2();
  (void)a.date_mouvement(), (void)a.nombre_articles(), (void)a.extension();
  (void)a.reference_alternative(), (void)a.marque_exclusion(), (void)a.marque_echange();
  const auto i = remplit<pontex::EntreeIndex>(data, size);
  (void)i.cle(), (void)i.numero(), (void)i.tries();
  const auto m = remplit<pontex::EnregistrementMouvement>(data, size);
  (void)m.date(), (void)m.heure(), (void)m.code(), (void)m.reserve(), (void)m.quantite();
  (void)m.valeur(), (void)m.poste(), (void)m.utilisateur(), (void)m.origine();

  // The first byte gives the length of the reference looked up, the rest is
  // the index file.
  if (size == 0) return 0;
  const std::size_t n = std::min<std::size_t>(data[0] % 24, size - 1);
  const std::string reference(reinterpret_cast<const char*>(data) + 1, n);
  {
    std::ofstream f("W_caiind.WDO", std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data) + 1 + n,
            static_cast<std::streamsize>(size - 1 - n));
  }
  pontex::Caisse caisse("");
  (void)caisse.cherche_article(reference).article;
  return 0;
}

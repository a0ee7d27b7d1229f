// The test hook that makes chosen file operations fail, and the counters of
// record file system calls. Both systems share them.

#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

namespace {
// The programs are single-threaded: one hook and one set of counters.
CrochetEchec& crochet() {
  static CrochetEchec c;
  return c;
}
}  // namespace

void installe_crochet_echec(CrochetEchec c) {
  interne::crochet_installe = static_cast<bool>(c);
  crochet() = std::move(c);
}

CompteursES& compteurs_es() {
  static CompteursES c;
  return c;
}

namespace interne {
bool crochet_installe = false;

bool appelle_crochet(Operation operation, std::string_view chemin) {
  const CrochetEchec& c = crochet();
  return c && c(operation, chemin);
}
}  // namespace interne

}  // namespace pontex

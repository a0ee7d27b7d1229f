#include "pontex/shared/verrou.h"

#include <thread>

namespace pontex {

Resultat attend_verrou(VerrouDossier& verrou, std::string_view chemin,
                       std::chrono::milliseconds delai, std::chrono::milliseconds pause,
                       bool& occupe) {
  const auto fin = std::chrono::steady_clock::now() + delai;
  for (;;) {
    Resultat r = verrou.prend(chemin, occupe);
    if (r || !occupe || std::chrono::steady_clock::now() >= fin) return r;
    std::this_thread::sleep_for(pause);
  }
}

}  // namespace pontex

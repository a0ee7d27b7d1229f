#include "pontex/shared/verrou.h"

#include <algorithm>
#include <thread>

#include "pontex/shared/arret_systeme.h"

namespace pontex {

PriseVerrou attend_verrou(VerrouDossier& verrou, std::string_view chemin,
                          std::chrono::milliseconds delai, std::chrono::milliseconds pause) {
  using horloge = std::chrono::steady_clock;
  const auto fin = horloge::now() + delai;
  // The stop is looked at in steps short enough for the system's few
  // seconds of grace, whatever pause the caller chose.
  constexpr std::chrono::milliseconds pas_arret{100};
  for (;;) {
    if (arret_demande()) return {IssueVerrou::arret, "stop asked by the system"};
    PriseVerrou prise = verrou.prend(chemin);
    if (prise.issue != IssueVerrou::tenu_par_un_autre || horloge::now() >= fin) return prise;
    const auto reprise = std::min(horloge::now() + pause, fin);
    while (horloge::now() < reprise && !arret_demande())
      std::this_thread::sleep_for(std::min<horloge::duration>(pas_arret, reprise - horloge::now()));
  }
}

}  // namespace pontex

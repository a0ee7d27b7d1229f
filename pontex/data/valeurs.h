#pragma once
// The program-wide values of Pontex: created once at start-up, passed to the
// exchange procedures, and read by the windows. Nothing else is global.

#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "pontex/data/caisse.h"
#include "pontex/data/configuration.h"
#include "pontex/data/enregistrements.h"
#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/horloge.h"

namespace pontex {

// The folders one exchange works in, held open from its start to its end
// (TenueDossiers, pontex/exchange/echange.h): whatever the exchange reads
// or writes there stays in the folders it checked at its start, even when
// a name is swapped for a link meanwhile. A folder that was refused, or is
// missing, is left closed and nothing is done in it.
struct DossiersEchange {
  DossierTenu courant;          // the program's own folder: the working file
  DossierTenu transit;          // "#TRANSIT#", the shop's setting, links followed
  DossierTenu reception;        // import
  DossierTenu reception_histo;  // import\histo
  DossierTenu emission;         // export
  DossierTenu emission_histo;   // export\histo
};

struct ValeursProgramme {
  explicit ValeursProgramme(const Horloge& h, char separateur = '.')
      : horloge(&h), separateur_decimal(separateur) {}

  const Horloge* horloge;
  // Decimal separator of the workstation's regional settings, for every
  // quantity written into a file or the journal.
  char separateur_decimal;

  Configuration config;
  // Article count from the article file's header (32-bit: registers of more
  // than 32,767 articles exist).
  std::int32_t nombre_articles = 0;
  // The cash register's files, in config.ficbase.
  Caisse caisse{""};

  // Random sales generator: never seeded from the clock, so every run of the
  // program draws the same sequence from its start.
  std::mt19937 aleatoire;

  // The folders of the exchange under way; none between two exchanges.
  std::optional<DossiersEchange> dossiers;
};

// Load configuration: reads "Pontex.wdo" from the current directory (a
// missing file keeps the defaults), points the cash register at its folder,
// opens the article files for the article count and closes the article file.
void charge_parametres(ValeursProgramme& valeurs);

}  // namespace pontex

#include "pontex/data/caisse.h"
#include "pontex/data/configuration.h"
#include "pontex/data/valeurs.h"

namespace pontex {

// Load configuration. No step stops the next one: a missing "Pontex.wdo"
// keeps the defaults (the cash-register folder is then the current one and
// the start-up finds no cash-register data there), and an article file that
// cannot be opened keeps the previous article count.
void charge_parametres(ValeursProgramme& valeurs) {
  (void)charge_configuration(valeurs.config);  // no file: the defaults, as the shop expects
  valeurs.caisse.met_dossier(valeurs.config.ficbase);
  std::int32_t nombre = 0;
  if (valeurs.caisse.ouvre_articles(nombre)) valeurs.nombre_articles = nombre;
  valeurs.caisse.ferme_articles();
}

}  // namespace pontex

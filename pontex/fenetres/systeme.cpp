#include "pontex/fenetres/systeme.h"

namespace pontex::fenetres {

Resultat SystemeReel::demarre(std::string_view nom, Fenetre_lancement fenetre) {
  return demarre_programme(nom, fenetre);
}

void SystemeReel::termine() { termine_processus(0); }

}  // namespace pontex::fenetres

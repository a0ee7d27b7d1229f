// How a program was asked to show its first window: what the platform says
// (processus_posix.cpp, processus_win32.cpp) and the program's arguments.

#include "pontex/shared/processus.h"

#include <algorithm>

namespace pontex {

Fenetre_lancement mode_lancement_demande(const std::vector<std::string>& arguments) {
  const Fenetre_lancement plateforme = mode_lancement_demande();
  if (plateforme != Fenetre_lancement::normale) return plateforme;
  const bool sans_focus =
      std::find(arguments.begin(), arguments.end(), argument_sans_focus) != arguments.end();
  return sans_focus ? Fenetre_lancement::sans_focus : Fenetre_lancement::normale;
}

}  // namespace pontex

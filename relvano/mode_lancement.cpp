#include "relvano/mode_lancement.h"

namespace relvano {

// The platform layer reads the start-up show state on Windows and the
// environment on Linux.
pontex::Fenetre_lancement lit_mode_lancement() { return pontex::mode_lancement_demande(); }

}  // namespace relvano

#pragma once
// How the relauncher itself was started. Pontex starts it minimised without
// the focus when it runs in background mode, so that the restart every few
// minutes does not bring a window to the front over the shop's till.

#include "pontex/shared/processus.h"

namespace relvano {

// `reduite_sans_focus` when the starter asked for a minimised start without
// the focus, `normale` otherwise.
pontex::Fenetre_lancement lit_mode_lancement();

}  // namespace relvano

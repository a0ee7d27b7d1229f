#pragma once
// How the relauncher itself was started. Pontex's restart every few minutes
// starts it without the focus (and minimised in background mode), so that
// the splash does not take the keyboard from the shop's till.

#include "pontex/shared/processus.h"

namespace relvano {

// `reduite_sans_focus` when the starter asked for a minimised start without
// the focus, `sans_focus` when it gave "--sans-focus" (Pontex's restart in
// normal mode), `normale` otherwise. `argv` as main() gets it.
pontex::Fenetre_lancement lit_mode_lancement(int argc, const char* const* argv);

}  // namespace relvano

#pragma once
// Creating the Startup folder when it is missing: a new Linux account has
// no autostart folder (and often no ~/.config either) until some program
// makes one.

#include <string_view>

#include "pontex/shared/resultat.h"

namespace kestrap {

// Creates `dossier` (a path for the platform layer, "\" or "/" between
// folders) and those of its parents that are missing, from the top down.
// Succeeds when the folder exists afterwards. Nothing is ever created at the
// top of a drive or of the file system: if no parent below it exists, the
// user's profile itself is missing and the call fails without writing.
pontex::Resultat cree_dossiers(std::string_view dossier);

}  // namespace kestrap

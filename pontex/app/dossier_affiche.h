#pragma once
// A folder of the configuration as the shop's user sees it in the windows.
// The configuration rules end every folder with the backslash Windows
// uses; on Linux that reads "/srv/caisse/\". The files and their bytes
// keep the value as it is: only what is shown changes.

#include <QString>
#include <string_view>

namespace pontex::fenetres {

// `dossier` in Windows-1252 bytes. On Linux every backslash shows as "/"
// and a run of separators as one; on Windows the value is shown unchanged.
QString dossier_affiche(std::string_view dossier);

}  // namespace pontex::fenetres

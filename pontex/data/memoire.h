#pragma once
// What Pontex remembers across its restarts besides the background mode,
// in the window-state store "W_intlog.wdo":
//  - the register folder where cash-register data was last found, so that a
//    start that finds it missing can tell a till PC's share that is away for
//    a moment (wait for it, nobody may be there to click) from a folder that
//    never held any data (a first start, a folder just typed: ask the shop);
//  - the time of the last exchange whose stock export reached the server's
//    folder, shown in the main window after every restart.

#include <string>
#include <string_view>

#include "pontex/data/inter_logg.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/resultat.h"

namespace pontex {

// A store value holds 40 characters and a folder may be longer: the folder
// is kept as a fingerprint (16 hexadecimal digits of its bytes).
inline constexpr std::string_view cle_caisse_connue = "CAISSE";
inline constexpr std::string_view cle_dernier_echange = "ECHANGE_OK";

std::string empreinte_dossier(std::string_view dossier);

// `dossier` (the configuration's cash-register folder, as held) is the one
// where cash-register data was last found.
bool caisse_connue(std::string_view dossier, std::string_view chemin = nom_fichier_logg);

// Remembers `dossier` as holding cash-register data; the store is written
// only when it remembered another one.
Resultat retient_caisse(std::string_view dossier, std::string_view chemin = nom_fichier_logg);

// "dd-mm-yyyy hh:nn", as the time of an exchange is kept and shown.
std::string format_date_echange(const DateHeure& quand);

// "dd-mm-yyyy hh:nn" of the last good exchange, "" when none is known.
std::string lit_dernier_echange(std::string_view chemin = nom_fichier_logg);
Resultat retient_dernier_echange(const DateHeure& quand,
                                 std::string_view chemin = nom_fichier_logg);

}  // namespace pontex

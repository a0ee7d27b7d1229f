#pragma once
// What the export and the random sales generator share: which articles take
// part in the exchange, under which reference, and the transit folder names.

#include <cstdint>
#include <string>
#include <string_view>

#include "pontex/data/enregistrements.h"
#include "pontex/data/valeurs.h"

namespace pontex {

// The article takes part in the exchange (exchange mark "1", exclusion mark
// "0") and has a reference to send: its article code when
// `par_reference_alternative` is false (an empty code is still sent), its
// alternative reference otherwise (a blank one keeps the article out).
// `reference` receives the reference without surrounding spaces.
bool article_echange(const EnregistrementArticle& article, bool par_reference_alternative,
                     std::string& reference);

// The analysis working file, in the current directory: each file taken from
// the import folder is copied there and applied from there.
inline constexpr std::string_view nom_fichier_analyse = "prov_stk_ana_ron.txt";

// The transit folder's sub-folders, ending with a backslash.
inline std::string dossier_import(const ValeursProgramme& v) {
  return v.config.transit + "import\\";
}
inline std::string dossier_export(const ValeursProgramme& v) {
  return v.config.transit + "export\\";
}

// The day's error file of unknown references, a name in the import folder:
// "erreurs_dd-mm-yyyy.err" for today's date.
std::string nom_fichier_erreurs(const ValeursProgramme& v);

// Fractional random number in [0, 1) from the program's never-seeded
// generator, the same on every compiler and system.
double tire_aleatoire(ValeursProgramme& v);

}  // namespace pontex

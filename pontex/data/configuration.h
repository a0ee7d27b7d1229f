#pragma once
// "Pontex.wdo": the ten settings of the program, read once at start-up and
// held unchanged for the run.
//
// One setting per line: the first 9 characters are the key ("#TRANSIT#"...),
// the value follows directly. Everything from the first "|" on is a comment
// and such a line is then trimmed; a line without "|" is not. A line ends at
// CR, CR LF or LF (a file saved by a Linux editor must work too). Unknown
// keys are ignored; the last line of a key wins. The file may be saved in
// Windows-1252 or in UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

#include "pontex/shared/resultat.h"

namespace pontex {

struct Configuration {
  std::string transit;       // "#TRANSIT#": raw, always ends with a backslash
  std::string ficbase;       // "#FICBASE#": raw, always ends with a backslash
  bool ficbase_lu = false;   // a "#FICBASE#" line was seen (the window shows it then)
  std::int16_t refarti = 0;  // "#REFARTI#": reference mode, halves to even
  std::string nom_sto;       // "#NOM_STO#": export file prefix, trimmed
  std::string nom_mvt;       // "#NOM_MVT#": generated-sales file prefix, trimmed
  std::string numpost;       // "#NUMPOST#": workstation number (text), trimmed
  std::string utilisa;       // "#UTILISA#": user number (text), trimmed
  std::string rep_sto;       // "#REP_STO#": held, unused
  std::string rep_mvt;       // "#REP_MVT#": held, unused
  std::string tim_ana;       // "#TIM_ANA#": restart delay in minutes (text), trimmed
};

inline constexpr std::string_view nom_fichier_configuration = "Pontex.wdo";

// Applies the lines of `texte` (Windows-1252 bytes) to `config`.
void applique_texte_configuration(std::string_view texte, Configuration& config);

// The bytes of a configuration file as the program reads them
// (Windows-1252): a file that is valid UTF-8 with accented characters (what
// a Linux editor saves) is converted from UTF-8; any other is Windows-1252.
std::string texte_configuration_1252(std::string_view octets);

// Reads `chemin` (default "Pontex.wdo" in the current directory). A missing
// file leaves the defaults and reports a failure.
Resultat charge_configuration(Configuration& config,
                              std::string_view chemin = nom_fichier_configuration);

}  // namespace pontex

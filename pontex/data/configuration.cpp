#include "pontex/data/configuration.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "pontex/shared/encodage.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/nombres.h"
#include "pontex/shared/texte.h"

namespace pontex {

namespace {

// The two folders are used by gluing a file name after them, so they must
// end with exactly the backslash the user may or may not have typed.
std::string dossier(std::string_view valeur) {
  std::string d(valeur);
  if (d.empty() || d.back() != '\\') d.push_back('\\');
  return d;
}

void applique_ligne(std::string_view ligne, Configuration& config) {
  const auto barre = ligne.find('|');
  if (barre != std::string_view::npos) ligne = sans_espaces(ligne.substr(0, barre));
  // A line shorter than a key gives a key padded with spaces, which is no key.
  if (ligne.size() < 9) return;
  const std::string_view cle = ligne.substr(0, 9);
  const std::string_view valeur = ligne.substr(9);

  if (cle == "#TRANSIT#") {
    config.transit = dossier(valeur);
  } else if (cle == "#FICBASE#") {
    config.ficbase = dossier(valeur);
    config.ficbase_lu = true;
  } else if (cle == "#REFARTI#") {
    // An unreadable or out-of-range mode keeps the one held before.
    if (const auto n = lit_nombre_sur(valeur)) {
      if (const auto mode = arrondi_pair(*n, INT16_MIN, INT16_MAX)) {
        config.refarti = static_cast<std::int16_t>(*mode);
      }
    }
  } else if (cle == "#NOM_STO#") {
    config.nom_sto = sans_espaces(valeur);
  } else if (cle == "#NOM_MVT#") {
    config.nom_mvt = sans_espaces(valeur);
  } else if (cle == "#NUMPOST#") {
    config.numpost = sans_espaces(valeur);
  } else if (cle == "#UTILISA#") {
    config.utilisa = sans_espaces(valeur);
  } else if (cle == "#REP_STO#") {
    config.rep_sto = sans_espaces(valeur);
  } else if (cle == "#REP_MVT#") {
    config.rep_mvt = sans_espaces(valeur);
  } else if (cle == "#TIM_ANA#") {
    config.tim_ana = sans_espaces(valeur);
  }
}

}  // namespace

void applique_texte_configuration(std::string_view texte, Configuration& config) {
  // The settings window writes CR LF; a file touched by another editor may
  // hold CR or LF alone. Each of the three ends a line.
  std::size_t debut = 0;
  while (debut < texte.size()) {
    const auto fin = texte.find_first_of("\r\n", debut);
    if (fin == std::string_view::npos) {
      applique_ligne(texte.substr(debut), config);
      break;
    }
    applique_ligne(texte.substr(debut, fin - debut), config);
    debut = fin + 1;
    if (texte[fin] == '\r' && debut < texte.size() && texte[debut] == '\n') ++debut;
  }
}

Resultat charge_configuration(Configuration& config, std::string_view chemin) {
  std::string contenu;
  Resultat r = lit_texte(chemin, contenu);
  if (!r) return r;
  applique_texte_configuration(texte_configuration_1252(contenu), config);
  return Resultat::succes();
}

std::string texte_configuration_1252(std::string_view octets) {
  // Some Windows editors begin a UTF-8 file with a byte order mark: it is
  // no part of the first line, whose key would go unread.
  constexpr std::string_view marque_utf8 = "\xEF\xBB\xBF";
  if (octets.starts_with(marque_utf8) && est_utf8_etendu(octets))
    octets.remove_prefix(marque_utf8.size());
  if (est_utf8_etendu(octets)) return cp1252_depuis_utf8_valide(octets);
  return std::string(octets);
}

}  // namespace pontex

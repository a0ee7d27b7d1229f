#include "pontex/data/memoire.h"

#include <cstdint>

#include "pontex/shared/octets.h"
#include "pontex/shared/texte.h"

namespace pontex {

std::string empreinte_dossier(std::string_view dossier) {
  // FNV-1a, 64 bits: stable across builds and systems, unlike std::hash.
  std::uint64_t h = empreinte(dossier);
  static constexpr char chiffres[] = "0123456789ABCDEF";
  std::string texte(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) texte[std::size_t(i)] = chiffres[h & 0xF];
  return texte;
}

bool caisse_connue(std::string_view dossier, std::string_view chemin) {
  return sans_espaces_finaux(lit_logg(cle_caisse_connue, chemin)) == empreinte_dossier(dossier);
}

Resultat retient_caisse(std::string_view dossier, std::string_view chemin) {
  // Every start of a shop that runs well comes here: the store is left
  // alone while it already says so.
  if (caisse_connue(dossier, chemin)) return Resultat::succes();
  return ecrit_logg(cle_caisse_connue, empreinte_dossier(dossier), chemin);
}

std::string lit_dernier_echange(std::string_view chemin) {
  return std::string(sans_espaces_finaux(lit_logg(cle_dernier_echange, chemin)));
}

std::string format_date_echange(const DateHeure& quand) {
  return format_jj_mm_aaaa(quand) + " " + format_hh_mm(quand);
}

Resultat retient_dernier_echange(const DateHeure& quand, std::string_view chemin) {
  return ecrit_logg(cle_dernier_echange, format_date_echange(quand), chemin);
}

}  // namespace pontex

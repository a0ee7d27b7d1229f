// The part of the transit folder's file rules that is the same on every
// system: what counts as one name.

#include "pontex/shared/fichiers_transit.h"

#include "pontex/shared/fichiers_transit_interne.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex {

bool nom_simple(std::string_view nom) {
  if (nom.empty() || nom == "." || nom == "..") return false;
  for (std::size_t i = 0; i < nom.size(); ++i) {
    const char c = nom[i];
    const auto u = static_cast<unsigned char>(c);
#ifndef _WIN32
    // A byte of a Linux name that has no Windows-1252 form, as the listing
    // writes it: one byte of the name, never a folder separator. A
    // backslash of the name itself ("\x5c") is refused like a bare one, and
    // on Windows a backslash always separates folders.
    if (interne::octet_echappe(nom, i) >= 0x80) {
      i += 3;
      continue;
    }
#endif
    if (u < 0x20 || u == 0x7F) return false;
    switch (c) {
      case '\\':
      case '/':
      case ':':
      case '*':
      case '?':
      case '"':
      case '<':
      case '>':
      case '|':
        return false;
      default:
        break;
    }
  }
  return nom.back() != '.' && nom.back() != ' ';
}

namespace interne {

std::string chemin_entree(std::string_view dossier, std::string_view nom) {
  std::string r(dossier);
  if (!r.empty() && r.back() != '\\' && r.back() != '/') r.push_back('\\');
  r.append(nom);
  return r;
}

std::string nom_temporaire(std::uint64_t alea) {
  static constexpr char chiffres[] = "0123456789abcdef";
  std::string nom = "pontex-";
  for (int i = 60; i >= 0; i -= 4) nom.push_back(chiffres[(alea >> i) & 0xF]);
  nom += ".tmp";
  return nom;
}

}  // namespace interne

}  // namespace pontex

// Trimming the fixed-width text fields of the register and of our own files,
// which pad with spaces. Only spaces: a reference or a setting may hold a TAB
// that is part of its value.
#pragma once

#include <string_view>

namespace pontex {

// Spaces removed at both ends.
inline std::string_view sans_espaces(std::string_view texte) {
  const auto debut = texte.find_first_not_of(' ');
  if (debut == std::string_view::npos) return {};
  return texte.substr(debut, texte.find_last_not_of(' ') - debut + 1);
}

// Spaces removed at the end only: a field padded on the right.
inline std::string_view sans_espaces_finaux(std::string_view texte) {
  const auto fin = texte.find_last_not_of(' ');
  return texte.substr(0, fin == std::string_view::npos ? 0 : fin + 1);
}

}  // namespace pontex

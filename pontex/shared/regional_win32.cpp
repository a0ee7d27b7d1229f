#include <windows.h>

#include "pontex/shared/regional.h"

namespace pontex {

std::optional<char> separateur_decimal_systeme() {
  wchar_t texte[8] = {};
  const int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, texte, 8);
  // n counts the final NUL: one character and the NUL.
  if (n != 2 || texte[0] == L'\0' || texte[0] > 0x7F) return std::nullopt;
  return static_cast<char>(texte[0]);
}

}  // namespace pontex

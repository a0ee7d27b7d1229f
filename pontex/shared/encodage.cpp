#include "pontex/shared/encodage.h"

#include <optional>

#ifdef _WIN32
#include <windows.h>

#include "pontex/shared/chemins_win32.h"
#else
#include "pontex/shared/chemins_posix.h"
#endif

namespace pontex {

namespace {

std::optional<std::string> vers_1252(std::string_view utf8) {
#ifdef _WIN32
  if (utf8.empty()) return std::string();
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring large(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        large.data(), n);
  return interne::ansi_depuis_large(large);
#else
  return interne::cp1252_depuis_utf8(utf8);
#endif
}

}  // namespace

bool est_utf8_etendu(std::string_view octets) {
  bool etendu = false;
  for (std::size_t i = 0; i < octets.size();) {
    const std::size_t n = longueur_sequence_utf8(octets, i);
    if (n == 0) return false;
    etendu = etendu || n > 1;
    i += n;
  }
  return etendu;
}

std::string cp1252_depuis_utf8_valide(std::string_view utf8) {
  if (auto tout = vers_1252(utf8)) return *tout;
  // Some character has no byte: convert character by character.
  std::string resultat;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = longueur_sequence_utf8(utf8, i);
    if (n == 0) n = 1;
    const auto un = vers_1252(utf8.substr(i, n));
    resultat += un && un->size() == 1 ? *un : std::string("?");
    i += n;
  }
  return resultat;
}

std::size_t longueur_sequence_utf8(std::string_view s, std::size_t i) {
  const auto o = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = o(i);
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned char min2 = 0x80, max2 = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) min2 = 0xA0;
    if (c == 0xED) max2 = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) min2 = 0x90;
    if (c == 0xF4) max2 = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (o(i + 1) < min2 || o(i + 1) > max2) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (o(i + k) < 0x80 || o(i + k) > 0xBF) return 0;
  }
  return n;
}

}  // namespace pontex

#include "pontex/shared/encodage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#ifdef _WIN32
#include <windows.h>

#include "pontex/shared/chemins_win32.h"
#else
#include "pontex/shared/chemins_posix.h"
#endif

namespace pontex {

namespace {

// The UTF-8 sequence starting at `s[i]`: its length, 0 when it is not a
// well-formed one (overlong forms, surrogates and values beyond U+10FFFF
// included); `coupee` when the bytes there begin a well-formed one but the
// text ends before it does.
struct Sequence {
  std::size_t longueur = 0;
  bool coupee = false;
};

Sequence lit_sequence(std::string_view s, std::size_t i) {
  const auto o = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = o(i);
  if (c < 0x80) return {1, false};
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
    return {};
  }
  for (std::size_t k = 1; k < n; ++k) {
    if (i + k >= s.size()) return {0, true};
    const unsigned char bas = k == 1 ? min2 : 0x80, haut = k == 1 ? max2 : 0xBF;
    if (o(i + k) < bas || o(i + k) > haut) return {};
  }
  return {n, false};
}

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

void DetectionUtf8::ajoute(std::string_view octets) {
  if (!valide_) return;
  std::size_t i = 0;
  if (!reste_.empty()) {
    // The character the previous block cut, completed from this one (a
    // character is at most 4 bytes).
    const std::size_t pris = std::min(octets.size(), 4 - reste_.size());
    const std::string debut = reste_ + std::string(octets.substr(0, pris));
    const Sequence s = lit_sequence(debut, 0);
    if (s.coupee) {  // this block was too short to complete it
      reste_ = debut;
      return;
    }
    if (s.longueur == 0) {
      valide_ = false;
      return;
    }
    etendu_ = true;
    i = s.longueur - reste_.size();
    reste_.clear();
  }
  while (i < octets.size()) {
    // A whole received file is read through before it is applied: its
    // ASCII, nearly all of it, goes eight bytes at a time.
    std::uint64_t huit;
    while (i + 8 <= octets.size() &&
           (std::memcpy(&huit, octets.data() + i, 8), (huit & 0x8080808080808080u) == 0))
      i += 8;
    if (i >= octets.size()) break;
    if (static_cast<unsigned char>(octets[i]) < 0x80) {
      ++i;
      continue;
    }
    const Sequence s = lit_sequence(octets, i);
    if (s.coupee) {
      reste_.assign(octets.substr(i));
      return;
    }
    if (s.longueur == 0) {
      valide_ = false;
      return;
    }
    etendu_ = true;
    i += s.longueur;
  }
}

bool est_utf8_etendu(std::string_view octets) {
  DetectionUtf8 d;
  d.ajoute(octets);
  return d.utf8_etendu();
}

std::size_t vers_cp1252(std::string_view utf8, std::string& sortie) {
  if (auto tout = vers_1252(utf8)) {
    sortie += *tout;
    return std::string::npos;
  }
  // Some character has no byte, or some byte is no UTF-8: character by
  // character.
  std::size_t premier = std::string::npos;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = lit_sequence(utf8, i).longueur;
    if (n == 0) n = 1;
    const auto un = vers_1252(utf8.substr(i, n));
    if (un && un->size() == 1) {
      sortie += *un;
    } else {
      if (premier == std::string::npos) premier = sortie.size();
      sortie += '?';
    }
    i += n;
  }
  return premier;
}

std::size_t longueur_sequence_utf8(std::string_view s, std::size_t i) {
  return lit_sequence(s, i).longueur;
}

std::string cp1252_depuis_utf8_valide(std::string_view utf8) {
  std::string resultat;
  (void)vers_cp1252(utf8, resultat);  // "?" already stands in for what had no byte
  return resultat;
}

std::string utf8_depuis_cp1252(std::string_view octets) {
#ifdef _WIN32
  return interne::utf8_depuis_large(interne::large_depuis_ansi(octets));
#else
  return interne::utf8_depuis_1252(octets);
#endif
}

}  // namespace pontex

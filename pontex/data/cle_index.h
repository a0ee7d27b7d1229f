#pragma once
// Keys of the cash register's index "W_caiind.WDO": a kind letter ("A" for
// articles) followed by the reference, 16 bytes of Windows-1252 text. The
// cash-register program keeps its keys in upper case and sorts them by byte
// value; a reference from the server matches whatever its letter case.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "pontex/shared/texte.h"

namespace pontex {

inline constexpr std::size_t longueur_cle = 16;

// Upper case of one Windows-1252 byte: a-z, the accented small letters
// 0xE0..0xFE (except the division sign 0xF7), and the small letters of
// 0x9A (š), 0x9C (œ), 0x9E (ž) and 0xFF (ÿ), as the workstation's ANSI upper
// casing does. "é" becomes "É", so "pâté" finds a key stored as "PÂTÉ".
// 0xDF (ß) and 0xB5 (µ) have no single-byte capital and stay as they are.
constexpr std::uint8_t majuscule_1252(std::uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<std::uint8_t>(c - 0x20);
  switch (c) {
    case 0x9A:
      return 0x8A;
    case 0x9C:
      return 0x8C;
    case 0x9E:
      return 0x8E;
    case 0xFF:
      return 0x9F;
    default:
      return c;
  }
}

inline std::string majuscules_1252(std::string_view texte) {
  std::string r(texte);
  for (char& c : r) c = static_cast<char>(majuscule_1252(static_cast<std::uint8_t>(c)));
  return r;
}

// The key the lookup searches for: "A" + reference, trailing spaces removed,
// padded with spaces or cut to 16 bytes, upper case. Leading spaces stay
// (they follow the kind letter), and only the first 15 bytes of a long
// reference count. Any byte may occur, NUL included.
inline std::string cle_recherche(std::string_view reference) {
  // Cutting before removing the trailing spaces gives the same 16 bytes and
  // spares copying a long reference. One string, built in place: a key is
  // made for every record applied.
  const std::string_view r = sans_espaces_finaux(reference.substr(0, longueur_cle - 1));
  std::string cle(longueur_cle, ' ');
  cle[0] = 'A';
  for (std::size_t i = 0; i < r.size(); ++i)
    cle[i + 1] = static_cast<char>(majuscule_1252(static_cast<std::uint8_t>(r[i])));
  return cle;
}

// Byte-value order of two keys (negative, 0, positive), as the index sorts.
inline int compare_cles(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<std::uint8_t>(a[i]);
    const auto y = static_cast<std::uint8_t>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Order of a search key (16 bytes, already in upper case) and the key field
// of an index record (16 bytes as stored), the stored key taken in upper
// case; compared in place, as the lookup does it for every entry it reads.
namespace detail {
// majuscule_1252 as a table: the index lookup upper-cases every byte of
// every entry it compares, thousands per lookup in a long unsorted tail.
struct TableMajuscules {
  std::uint8_t octets[256];
  constexpr TableMajuscules() : octets() {
    for (int c = 0; c < 256; ++c) octets[c] = majuscule_1252(static_cast<std::uint8_t>(c));
  }
};
inline constexpr TableMajuscules table_majuscules{};
}  // namespace detail

inline int compare_cle_entree(std::string_view cle, const std::uint8_t* entree) {
  std::size_t i = 0;
  // Keys near each other in the index share their first bytes, stored in
  // upper case already: eight of them equal as stored are passed at once.
  if (cle.size() >= longueur_cle) {
    for (; i < longueur_cle; i += 8) {
      std::uint64_t a, b;
      std::memcpy(&a, cle.data() + i, 8);
      std::memcpy(&b, entree + i, 8);
      if (a != b) break;
    }
  }
  for (; i < longueur_cle; ++i) {
    const auto x = i < cle.size() ? static_cast<std::uint8_t>(cle[i]) : std::uint8_t{' '};
    const std::uint8_t y = detail::table_majuscules.octets[entree[i]];
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// Whether the key field of an index record (16 bytes as stored) is the
// search key (16 bytes, upper case), the stored key taken in upper case:
// what the tail scan asks of every entry it reads, thousands per unknown
// reference. The bytes are compared eight at a time; only a byte that
// differs as stored is looked at in upper case, and most entries are told
// apart at the first one.
inline bool egale_cle_entree(const std::uint8_t* cle, const std::uint8_t* entree) {
  for (std::size_t debut = 0; debut < longueur_cle; debut += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, cle + debut, 8);
    std::memcpy(&b, entree + debut, 8);
    if (a == b) continue;
    for (std::size_t i = debut; i < debut + 8; ++i) {
      if (cle[i] != entree[i] && cle[i] != detail::table_majuscules.octets[entree[i]]) return false;
    }
  }
  return true;
}

}  // namespace pontex

#include "pontex/shared/octets.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pontex {

namespace {

constexpr bool hote_petit_boutiste = std::endian::native == std::endian::little;

// A word of sizeof(Mot) bytes copied as it lies: on a little-endian host the
// stored order is the host's own. Fields of these widths are read and
// written several times for every record applied (the progress record, the
// digests), where the byte arithmetic below costs more than the rest.
template <typename Mot>
std::uint64_t lit_mot(const std::uint8_t* p) {
  Mot m;
  std::memcpy(&m, p, sizeof m);
  return m;
}

template <typename Mot>
void ecrit_mot(std::uint8_t* p, std::uint64_t v) {
  const auto m = static_cast<Mot>(v);
  std::memcpy(p, &m, sizeof m);
}

}  // namespace

namespace octets {

void blanchit(std::span<std::uint8_t> record, std::span<const Champ> champs) {
  std::fill(record.begin(), record.end(), std::uint8_t{0});
  for (const Champ& c : champs)
    if (c.sorte == Sorte::texte) std::fill_n(record.begin() + c.offset, c.largeur, ' ');
}

// Text fields: bytes as stored, trailing spaces kept; the callers trim where
// the exchange needs it.
std::string lit_texte(const std::uint8_t* base, Champ c) { return lit_texte(base, c, c.largeur); }

std::string lit_texte(const std::uint8_t* base, Champ c, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(base + c.offset), std::min(n, c.largeur));
}

// Cut to the width or padded with spaces: an empty text becomes a field of
// spaces, never of NUL bytes the cash-register program would show.
void ecrit_texte(std::uint8_t* base, Champ c, std::string_view texte) {
  const std::size_t n = std::min(c.largeur, texte.size());
  std::copy_n(reinterpret_cast<const std::uint8_t*>(texte.data()), n, base + c.offset);
  std::fill(base + c.offset + n, base + c.fin(), static_cast<std::uint8_t>(' '));
}

void ecrit_octets(std::uint8_t* base, Champ c, std::span<const std::uint8_t> valeur) {
  std::copy_n(valeur.begin(), std::min(c.largeur, valeur.size()), base + c.offset);
}

void ecrit_octets(std::uint8_t* base, Champ c, std::string_view valeur) {
  ecrit_octets(base, c, {reinterpret_cast<const std::uint8_t*>(valeur.data()), valeur.size()});
}

void lit_octets(const std::uint8_t* base, Champ c, std::span<std::uint8_t> valeur) {
  std::copy_n(base + c.offset, std::min(c.largeur, valeur.size()), valeur.begin());
}

// Little-endian: the byte arithmetic serves any host, and any width.
std::uint64_t lit_entier(const std::uint8_t* base, Champ c) {
  if constexpr (hote_petit_boutiste) {
    const std::uint8_t* p = base + c.offset;
    switch (c.largeur) {
      case 8:
        return lit_mot<std::uint64_t>(p);
      case 4:
        return lit_mot<std::uint32_t>(p);
      case 2:
        return lit_mot<std::uint16_t>(p);
      case 1:
        return *p;
      default:
        break;
    }
  }
  std::uint64_t v = 0;
  for (std::size_t i = c.largeur; i-- > 0;) v = (v << 8) | base[c.offset + i];
  return v;
}

void ecrit_entier(std::uint8_t* base, Champ c, std::uint64_t v) {
  if constexpr (hote_petit_boutiste) {
    std::uint8_t* p = base + c.offset;
    switch (c.largeur) {
      case 8:
        return ecrit_mot<std::uint64_t>(p, v);
      case 4:
        return ecrit_mot<std::uint32_t>(p, v);
      case 2:
        return ecrit_mot<std::uint16_t>(p, v);
      case 1:
        *p = static_cast<std::uint8_t>(v);
        return;
      default:
        break;
    }
  }
  for (std::size_t i = 0; i < c.largeur; ++i, v >>= 8)
    base[c.offset + i] = static_cast<std::uint8_t>(v);
}

float lit_simple(const std::uint8_t* base, Champ c) {
  return std::bit_cast<float>(static_cast<std::uint32_t>(lit_entier(base, c)));
}

void ecrit_simple(std::uint8_t* base, Champ c, float v) {
  ecrit_entier(base, c, std::bit_cast<std::uint32_t>(v));
}

}  // namespace octets

std::uint64_t empreinte(std::string_view octets, std::uint64_t valeur) {
  for (const char c : octets) {
    valeur ^= static_cast<std::uint8_t>(c);
    valeur *= 1099511628211ULL;
  }
  return valeur;
}

std::uint64_t empreinte_mots(const std::uint8_t* base, std::size_t debut, std::size_t fin,
                             std::uint64_t valeur) {
  for (std::size_t i = debut; i + 8 <= fin; i += 8) {
    valeur ^= hote_petit_boutiste ? lit_mot<std::uint64_t>(base + i)
                                  : octets::lit_entier(base, {i, 8, Sorte::entier});
    valeur *= 1099511628211ULL;
    valeur ^= valeur >> 32;
  }
  return valeur;
}

}  // namespace pontex

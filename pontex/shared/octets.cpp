#include "pontex/shared/octets.h"

#include <algorithm>
#include <bit>

namespace pontex {

namespace octets {

// Text fields: bytes as stored, trailing spaces kept; the callers trim where
// the exchange needs it.
std::string lit_texte(const std::uint8_t* base, std::size_t offset, std::size_t largeur) {
  return std::string(reinterpret_cast<const char*>(base + offset), largeur);
}

// Cut to the width or padded with spaces: an empty text becomes a field of
// spaces, never of NUL bytes the cash-register program would show.
void ecrit_texte(std::uint8_t* base, std::size_t offset, std::size_t largeur,
                 std::string_view texte) {
  const std::size_t n = std::min(largeur, texte.size());
  std::copy_n(reinterpret_cast<const std::uint8_t*>(texte.data()), n, base + offset);
  std::fill(base + offset + n, base + offset + largeur, static_cast<std::uint8_t>(' '));
}

// Little-endian by byte arithmetic, whatever the host's byte order.
static std::uint32_t lit_u32(const std::uint8_t* base, std::size_t offset) {
  const std::uint8_t* p = base + offset;
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

static void ecrit_u32(std::uint8_t* base, std::size_t offset, std::uint32_t v) {
  std::uint8_t* p = base + offset;
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::int16_t lit_i16(const std::uint8_t* base, std::size_t offset) {
  const std::uint8_t* p = base + offset;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

std::int32_t lit_i32(const std::uint8_t* base, std::size_t offset) {
  return static_cast<std::int32_t>(lit_u32(base, offset));
}

float lit_f32(const std::uint8_t* base, std::size_t offset) {
  return std::bit_cast<float>(lit_u32(base, offset));
}

void ecrit_i16(std::uint8_t* base, std::size_t offset, std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  base[offset] = static_cast<std::uint8_t>(u);
  base[offset + 1] = static_cast<std::uint8_t>(u >> 8);
}

void ecrit_i32(std::uint8_t* base, std::size_t offset, std::int32_t v) {
  ecrit_u32(base, offset, static_cast<std::uint32_t>(v));
}

void ecrit_f32(std::uint8_t* base, std::size_t offset, float v) {
  ecrit_u32(base, offset, std::bit_cast<std::uint32_t>(v));
}

}  // namespace octets

}  // namespace pontex

#pragma once
// Fields of the fixed-length binary records the cash register and the
// window-state store keep: numbers little-endian on every host (Single is
// IEEE 754 float32), texts Windows-1252 bytes padded with spaces. Each
// record names its fields by offset in one table; these read and write one
// field at that offset.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pontex {

namespace octets {
std::string lit_texte(const std::uint8_t* base, std::size_t offset, std::size_t largeur);
void ecrit_texte(std::uint8_t* base, std::size_t offset, std::size_t largeur,
                 std::string_view texte);
std::int16_t lit_i16(const std::uint8_t* base, std::size_t offset);
std::int32_t lit_i32(const std::uint8_t* base, std::size_t offset);
float lit_f32(const std::uint8_t* base, std::size_t offset);
void ecrit_i16(std::uint8_t* base, std::size_t offset, std::int16_t v);
void ecrit_i32(std::uint8_t* base, std::size_t offset, std::int32_t v);
void ecrit_f32(std::uint8_t* base, std::size_t offset, float v);
}  // namespace octets

}  // namespace pontex

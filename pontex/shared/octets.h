#pragma once
// Fields of the fixed-length binary records: the cash register's, the
// window-state store's and our own (the progress record, the group notes,
// the files applied). Numbers are little-endian on every host (a Single is
// IEEE 754 float32); the register's texts are Windows-1252 bytes padded with
// spaces. Each record names its fields in one table of Champ, in its codec;
// these read and write one field of such a table, and nothing else in the
// program counts offsets.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pontex {

// What a field holds, and so how it is read, written and left blank.
enum class Sorte : std::uint8_t {
  texte,   // Windows-1252 bytes, padded with spaces; spaces in a blank record
  entier,  // little-endian integer as wide as the field (1 to 8 bytes)
  simple,  // the register's Single: IEEE 754 float32, little-endian
  octets,  // bytes kept as they are; our own records pad them with zeros
};

// Where a field stands in its record and what it holds.
struct Champ {
  std::size_t offset;
  std::size_t largeur;
  Sorte sorte;
  constexpr std::size_t fin() const { return offset + largeur; }
};

// Whether every field lies inside a record of `longueur` bytes and no two
// overlap: each table is checked with it at compile time, so an offset
// typed one off stops the build instead of moving a neighbour's bytes.
constexpr bool champs_disjoints(std::span<const Champ> champs, std::size_t longueur) {
  for (std::size_t i = 0; i < champs.size(); ++i) {
    if (champs[i].largeur == 0 || champs[i].fin() > longueur) return false;
    for (std::size_t j = i + 1; j < champs.size(); ++j)
      if (champs[i].offset < champs[j].fin() && champs[j].offset < champs[i].fin()) return false;
  }
  return true;
}

namespace octets {
// Blank record: zeros, and spaces in the text fields of `champs`.
void blanchit(std::span<std::uint8_t> record, std::span<const Champ> champs);

// The field's bytes as stored, trailing spaces or zeros kept; at most `n`
// of them for a field whose length is kept beside it.
std::string lit_texte(const std::uint8_t* base, Champ c);
std::string lit_texte(const std::uint8_t* base, Champ c, std::size_t n);
// Cut to the field's width and padded with spaces.
void ecrit_texte(std::uint8_t* base, Champ c, std::string_view texte);
// Cut to the field's width; the bytes after it left as they are (zeros in
// a record just made).
void ecrit_octets(std::uint8_t* base, Champ c, std::span<const std::uint8_t> valeur);
void ecrit_octets(std::uint8_t* base, Champ c, std::string_view valeur);
void lit_octets(const std::uint8_t* base, Champ c, std::span<std::uint8_t> valeur);

// An integer field as wide as its Champ, unsigned: signed fields are cast
// back by their accessor (two's complement, as the register keeps them).
std::uint64_t lit_entier(const std::uint8_t* base, Champ c);
void ecrit_entier(std::uint8_t* base, Champ c, std::uint64_t v);
float lit_simple(const std::uint8_t* base, Champ c);
void ecrit_simple(std::uint8_t* base, Champ c, float v);
}  // namespace octets

// 64-bit FNV-1a digest of bytes: the received files, their names and the
// files-applied records' check sum.
std::uint64_t empreinte(std::string_view octets, std::uint64_t depart = 14695981039346656037ULL);
// The same over the 8-byte little-endian words of [debut, fin) (a multiple
// of 8 bytes), each folded back on itself: the check sum of the progress
// record and the group notes, rewritten before every record applied, where
// a byte at a time would cost more than the write.
std::uint64_t empreinte_mots(const std::uint8_t* base, std::size_t debut, std::size_t fin,
                             std::uint64_t depart = 14695981039346656037ULL);

}  // namespace pontex

#pragma once
// The cash register's records. A record is kept as its raw bytes;
// accessors read and write single fields, so whatever the cash-register
// program keeps in the fields we do not use is written back byte for byte.
// The byte layouts, one table of offsets a record, are in
// enregistrements.cpp; the field numbers below are the cash register's.
// Numbers are little-endian on every host, Single is IEEE 754 float32. Text
// fields are Windows-1252 bytes, padded with spaces on the right when set.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pontex/shared/octets.h"

namespace pontex {

// Article record, 256 bytes, "w_caiar4.wdo". Record 1 is the header (field
// 11 = number of articles); article k is record k + 1.
struct EnregistrementArticle {
  static constexpr std::size_t longueur = 256;
  std::array<std::uint8_t, longueur> octets{};

  // A record beyond the end of the file: text fields spaces, numbers 0.
  static EnregistrementArticle vierge();

  std::string code() const;         // field 1: 15 text
  std::string designation() const;  // field 2: 40 text
  // The designation's bytes in the record itself, for a line built at every
  // record applied; valid as long as the record.
  std::string_view vue_designation() const;
  std::array<std::uint8_t, 8> valeur() const;  // field 3: 8 bytes
  float stock() const;                         // field 5: Single
  void met_stock(float v);
  float quantite2() const;  // field 7: Single
  void met_quantite2(float v);
  std::string date_mouvement() const;  // field 9: 10 text
  void met_date_mouvement(std::string_view jj_mm_aaaa);
  std::int32_t nombre_articles() const;  // field 11: Long (header)
  void met_nombre_articles(std::int32_t n);
  std::string extension() const;  // field 13: 101 text
  // Inside the extension, at the offsets of the table in enregistrements.cpp.
  std::string reference_alternative() const;  // 15 characters, untrimmed
  char marque_exclusion() const;
  char marque_echange() const;

  void met_code(std::string_view v);
  void met_designation(std::string_view v);
  void met_extension(std::string_view v);
};

// Index entry, 24 bytes, "W_caiind.WDO". Header record 1: field 2 = total
// entries T, field 3 = sorted entries S; entry e is record e + 1.
struct EntreeIndex {
  static constexpr std::size_t longueur = 24;
  std::array<std::uint8_t, longueur> octets{};

  static EntreeIndex vierge();
  std::string cle() const;  // field 1: 16 text ("A" + reference)
  void met_cle(std::string_view cle);
  std::int32_t numero() const;  // field 2: Long (header: T)
  void met_numero(std::int32_t v);
  std::int32_t tries() const;  // field 3: Long (header: S)
  void met_tries(std::int32_t v);
};

// Movement record, 64 bytes, "W_CAIREC.WDO". Header record 1: field 7 = number
// of movements M; movement m is record m + 1.
struct EnregistrementMouvement {
  static constexpr std::size_t longueur = 64;
  std::array<std::uint8_t, longueur> octets{};

  static EnregistrementMouvement vierge();
  std::string date() const;  // field 1: 10 text
  void met_date(std::string_view v);
  std::string heure() const;  // field 2: 5 text
  void met_heure(std::string_view v);
  std::string code() const;  // field 3: 15 text
  void met_code(std::string_view v);
  std::string reserve() const;  // field 4: 6 text
  void met_reserve(std::string_view v);
  float quantite() const;  // field 5: Single
  void met_quantite(float v);
  std::array<std::uint8_t, 8> valeur() const;  // field 6: 8 bytes
  void met_valeur(const std::array<std::uint8_t, 8>& v);
  std::int32_t poste() const;  // field 7: Long
  void met_poste(std::int32_t v);
  // The header record (record 1) keeps the number of movements M in field 7.
  std::int32_t compte_mouvements() const { return poste(); }
  void met_compte_mouvements(std::int32_t m) { met_poste(m); }
  std::int16_t utilisateur() const;  // field 8: Integer
  void met_utilisateur(std::int16_t v);
  std::string origine() const;  // field 9: 10 text
  void met_origine(std::string_view v);
};

}  // namespace pontex

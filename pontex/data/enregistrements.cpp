#include "pontex/data/enregistrements.h"

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

namespace {

// Text fields of each record (offset, width): blank records hold spaces
// there and 0 everywhere else.
struct Champ {
  std::size_t offset;
  std::size_t largeur;
};

constexpr Champ textes_article[] = {{0, 15}, {15, 40}, {83, 10}, {93, 10}, {103, 2}, {113, 101}};
constexpr Champ textes_index[] = {{0, 16}};
constexpr Champ textes_mouvement[] = {{0, 10}, {10, 5}, {15, 15}, {30, 6}, {54, 10}};

template <std::size_t N, std::size_t M>
void blanchit(std::array<std::uint8_t, N>& o, const Champ (&textes)[M]) {
  o.fill(0);
  for (const Champ& c : textes) std::fill_n(o.begin() + c.offset, c.largeur, ' ');
}

template <std::size_t N>
std::array<std::uint8_t, 8> lit_8(const std::array<std::uint8_t, N>& o, std::size_t offset) {
  std::array<std::uint8_t, 8> r{};
  std::copy_n(o.begin() + offset, 8, r.begin());
  return r;
}

// Article field 13 and the positions inside it (1-based in the extension).
constexpr std::size_t ext_offset = 113;
constexpr std::size_t ext_reference = ext_offset + 84;  // positions 85..99
constexpr std::size_t ext_exclusion = ext_offset + 99;  // position 100
constexpr std::size_t ext_echange = ext_offset + 100;   // position 101

}  // namespace

// --- Article -----------------------------------------------------------------

EnregistrementArticle EnregistrementArticle::vierge() {
  EnregistrementArticle a;
  blanchit(a.octets, textes_article);
  return a;
}

std::string EnregistrementArticle::code() const { return octets::lit_texte(octets.data(), 0, 15); }
std::string EnregistrementArticle::designation() const {
  return octets::lit_texte(octets.data(), 15, 40);
}
std::array<std::uint8_t, 8> EnregistrementArticle::valeur() const { return lit_8(octets, 55); }
float EnregistrementArticle::stock() const { return octets::lit_f32(octets.data(), 71); }
void EnregistrementArticle::met_stock(float v) { octets::ecrit_f32(octets.data(), 71, v); }
float EnregistrementArticle::quantite2() const { return octets::lit_f32(octets.data(), 79); }
void EnregistrementArticle::met_quantite2(float v) { octets::ecrit_f32(octets.data(), 79, v); }
std::string EnregistrementArticle::date_mouvement() const {
  return octets::lit_texte(octets.data(), 93, 10);
}
void EnregistrementArticle::met_date_mouvement(std::string_view jj_mm_aaaa) {
  octets::ecrit_texte(octets.data(), 93, 10, jj_mm_aaaa);
}
std::int32_t EnregistrementArticle::nombre_articles() const {
  return octets::lit_i32(octets.data(), 105);
}
void EnregistrementArticle::met_nombre_articles(std::int32_t n) {
  octets::ecrit_i32(octets.data(), 105, n);
}
std::string EnregistrementArticle::extension() const {
  return octets::lit_texte(octets.data(), ext_offset, 101);
}
std::string EnregistrementArticle::reference_alternative() const {
  return octets::lit_texte(octets.data(), ext_reference, 15);
}
char EnregistrementArticle::marque_exclusion() const {
  return static_cast<char>(octets[ext_exclusion]);
}
char EnregistrementArticle::marque_echange() const {
  return static_cast<char>(octets[ext_echange]);
}
void EnregistrementArticle::met_code(std::string_view v) {
  octets::ecrit_texte(octets.data(), 0, 15, v);
}
void EnregistrementArticle::met_designation(std::string_view v) {
  octets::ecrit_texte(octets.data(), 15, 40, v);
}
void EnregistrementArticle::met_extension(std::string_view v) {
  octets::ecrit_texte(octets.data(), ext_offset, 101, v);
}

// --- Index entry ---------------------------------------------------------------

EntreeIndex EntreeIndex::vierge() {
  EntreeIndex e;
  blanchit(e.octets, textes_index);
  return e;
}

std::string EntreeIndex::cle() const { return octets::lit_texte(octets.data(), 0, 16); }
void EntreeIndex::met_cle(std::string_view cle) { octets::ecrit_texte(octets.data(), 0, 16, cle); }
std::int32_t EntreeIndex::numero() const { return octets::lit_i32(octets.data(), 16); }
void EntreeIndex::met_numero(std::int32_t v) { octets::ecrit_i32(octets.data(), 16, v); }
std::int32_t EntreeIndex::tries() const { return octets::lit_i32(octets.data(), 20); }
void EntreeIndex::met_tries(std::int32_t v) { octets::ecrit_i32(octets.data(), 20, v); }

// --- Movement --------------------------------------------------------------------

EnregistrementMouvement EnregistrementMouvement::vierge() {
  EnregistrementMouvement m;
  blanchit(m.octets, textes_mouvement);
  return m;
}

std::string EnregistrementMouvement::date() const {
  return octets::lit_texte(octets.data(), 0, 10);
}
void EnregistrementMouvement::met_date(std::string_view v) {
  octets::ecrit_texte(octets.data(), 0, 10, v);
}
std::string EnregistrementMouvement::heure() const {
  return octets::lit_texte(octets.data(), 10, 5);
}
void EnregistrementMouvement::met_heure(std::string_view v) {
  octets::ecrit_texte(octets.data(), 10, 5, v);
}
std::string EnregistrementMouvement::code() const {
  return octets::lit_texte(octets.data(), 15, 15);
}
void EnregistrementMouvement::met_code(std::string_view v) {
  octets::ecrit_texte(octets.data(), 15, 15, v);
}
std::string EnregistrementMouvement::reserve() const {
  return octets::lit_texte(octets.data(), 30, 6);
}
void EnregistrementMouvement::met_reserve(std::string_view v) {
  octets::ecrit_texte(octets.data(), 30, 6, v);
}
float EnregistrementMouvement::quantite() const { return octets::lit_f32(octets.data(), 36); }
void EnregistrementMouvement::met_quantite(float v) { octets::ecrit_f32(octets.data(), 36, v); }
std::array<std::uint8_t, 8> EnregistrementMouvement::valeur() const { return lit_8(octets, 40); }
void EnregistrementMouvement::met_valeur(const std::array<std::uint8_t, 8>& v) {
  std::copy(v.begin(), v.end(), octets.begin() + 40);
}
std::int32_t EnregistrementMouvement::poste() const { return octets::lit_i32(octets.data(), 48); }
void EnregistrementMouvement::met_poste(std::int32_t v) { octets::ecrit_i32(octets.data(), 48, v); }
std::int16_t EnregistrementMouvement::utilisateur() const {
  return octets::lit_i16(octets.data(), 52);
}
void EnregistrementMouvement::met_utilisateur(std::int16_t v) {
  octets::ecrit_i16(octets.data(), 52, v);
}
std::string EnregistrementMouvement::origine() const {
  return octets::lit_texte(octets.data(), 54, 10);
}
void EnregistrementMouvement::met_origine(std::string_view v) {
  octets::ecrit_texte(octets.data(), 54, 10, v);
}

}  // namespace pontex

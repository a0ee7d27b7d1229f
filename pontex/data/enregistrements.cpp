#include "pontex/data/enregistrements.h"

#include <algorithm>

namespace pontex {

namespace {

constexpr Sorte texte = Sorte::texte, entier = Sorte::entier, simple = Sorte::simple,
                brut = Sorte::octets;

// Article record, 256 bytes. Fields 4, 6 and 12 (and the texts 8 and 10)
// are the cash register's own: written back as they were read.
namespace article {
constexpr Champ code{0, 15, texte};               // 1  text
constexpr Champ designation{15, 40, texte};       // 2  text
constexpr Champ valeur{55, 8, brut};              // 3  8 bytes, kept as they are
constexpr Champ stock{71, 4, simple};             // 5  Single
constexpr Champ quantite2{79, 4, simple};         // 7  Single
constexpr Champ texte8{83, 10, texte};            // 8  text
constexpr Champ date_mouvement{93, 10, texte};    // 9  text, dd-mm-yyyy
constexpr Champ texte10{103, 2, texte};           // 10 text
constexpr Champ nombre_articles{105, 4, entier};  // 11 Long, header record only
constexpr Champ extension{113, 101, texte};       // 13 text
// Inside the extension (1-based positions 85..99, 100, 101).
constexpr Champ reference_alternative{extension.offset + 84, 15, texte};
constexpr Champ marque_exclusion{extension.offset + 99, 1, texte};
constexpr Champ marque_echange{extension.offset + 100, 1, texte};
constexpr Champ champs[] = {code,   designation,    valeur,  stock,           quantite2,
                            texte8, date_mouvement, texte10, nombre_articles, extension};
static_assert(champs_disjoints(champs, EnregistrementArticle::longueur));
}  // namespace article

// Index entry, 24 bytes.
namespace entree_index {
constexpr Champ cle{0, 16, texte};      // 1 text, "A" + reference
constexpr Champ numero{16, 4, entier};  // 2 Long (header: entries in all, T)
constexpr Champ tries{20, 4, entier};   // 3 Long (header: sorted entries, S)
constexpr Champ champs[] = {cle, numero, tries};
static_assert(champs_disjoints(champs, EntreeIndex::longueur));
}  // namespace entree_index

// Movement record, 64 bytes.
namespace mouvement {
constexpr Champ date{0, 10, texte};          // 1 text, dd-mm-yyyy
constexpr Champ heure{10, 5, texte};         // 2 text, hh:nn
constexpr Champ code{15, 15, texte};         // 3 text
constexpr Champ reserve{30, 6, texte};       // 4 text
constexpr Champ quantite{36, 4, simple};     // 5 Single
constexpr Champ valeur{40, 8, brut};         // 6 8 bytes, the article's field 3
constexpr Champ poste{48, 4, entier};        // 7 Long (header: movements in all, M)
constexpr Champ utilisateur{52, 2, entier};  // 8 Integer
constexpr Champ origine{54, 10, texte};      // 9 text
constexpr Champ champs[] = {date,   heure, code,        reserve, quantite,
                            valeur, poste, utilisateur, origine};
static_assert(champs_disjoints(champs, EnregistrementMouvement::longueur));
}  // namespace mouvement

template <std::size_t N>
std::string lit_texte(const std::array<std::uint8_t, N>& o, Champ c) {
  return octets::lit_texte(o.data(), c);
}

template <std::size_t N>
void ecrit_texte(std::array<std::uint8_t, N>& o, Champ c, std::string_view texte) {
  octets::ecrit_texte(o.data(), c, texte);
}

template <std::size_t N>
std::array<std::uint8_t, 8> lit_8(const std::array<std::uint8_t, N>& o, Champ c) {
  std::array<std::uint8_t, 8> r{};
  octets::lit_octets(o.data(), c, r);
  return r;
}

// A record of type R with every field blank. Blank records are made for
// every record applied, most of them to be read over at once: each type's
// blank is laid out once and copied.
template <typename R, std::size_t N>
const R& modele_vierge(const Champ (&champs)[N]) {
  static const R modele = [&] {
    R r;
    octets::blanchit(r.octets, champs);
    return r;
  }();
  return modele;
}

}  // namespace

// --- Article -----------------------------------------------------------------

EnregistrementArticle EnregistrementArticle::vierge() {
  return modele_vierge<EnregistrementArticle>(article::champs);
}

std::string EnregistrementArticle::code() const { return lit_texte(octets, article::code); }
std::string EnregistrementArticle::designation() const {
  return lit_texte(octets, article::designation);
}
std::string_view EnregistrementArticle::vue_designation() const {
  return {reinterpret_cast<const char*>(octets.data()) + article::designation.offset,
          article::designation.largeur};
}
std::array<std::uint8_t, 8> EnregistrementArticle::valeur() const {
  return lit_8(octets, article::valeur);
}
float EnregistrementArticle::stock() const {
  return octets::lit_simple(octets.data(), article::stock);
}
void EnregistrementArticle::met_stock(float v) {
  octets::ecrit_simple(octets.data(), article::stock, v);
}
float EnregistrementArticle::quantite2() const {
  return octets::lit_simple(octets.data(), article::quantite2);
}
void EnregistrementArticle::met_quantite2(float v) {
  octets::ecrit_simple(octets.data(), article::quantite2, v);
}
std::string EnregistrementArticle::date_mouvement() const {
  return lit_texte(octets, article::date_mouvement);
}
void EnregistrementArticle::met_date_mouvement(std::string_view jj_mm_aaaa) {
  ecrit_texte(octets, article::date_mouvement, jj_mm_aaaa);
}
std::int32_t EnregistrementArticle::nombre_articles() const {
  return static_cast<std::int32_t>(octets::lit_entier(octets.data(), article::nombre_articles));
}
void EnregistrementArticle::met_nombre_articles(std::int32_t n) {
  octets::ecrit_entier(octets.data(), article::nombre_articles, static_cast<std::uint32_t>(n));
}
std::string EnregistrementArticle::extension() const {
  return lit_texte(octets, article::extension);
}
std::string EnregistrementArticle::reference_alternative() const {
  return lit_texte(octets, article::reference_alternative);
}
char EnregistrementArticle::marque_exclusion() const {
  return lit_texte(octets, article::marque_exclusion).front();
}
char EnregistrementArticle::marque_echange() const {
  return lit_texte(octets, article::marque_echange).front();
}
void EnregistrementArticle::met_code(std::string_view v) { ecrit_texte(octets, article::code, v); }
void EnregistrementArticle::met_designation(std::string_view v) {
  ecrit_texte(octets, article::designation, v);
}
void EnregistrementArticle::met_extension(std::string_view v) {
  ecrit_texte(octets, article::extension, v);
}

// --- Index entry ---------------------------------------------------------------

EntreeIndex EntreeIndex::vierge() { return modele_vierge<EntreeIndex>(entree_index::champs); }

std::string EntreeIndex::cle() const { return lit_texte(octets, entree_index::cle); }
void EntreeIndex::met_cle(std::string_view cle) { ecrit_texte(octets, entree_index::cle, cle); }
std::int32_t EntreeIndex::numero() const {
  return static_cast<std::int32_t>(octets::lit_entier(octets.data(), entree_index::numero));
}
void EntreeIndex::met_numero(std::int32_t v) {
  octets::ecrit_entier(octets.data(), entree_index::numero, static_cast<std::uint32_t>(v));
}
std::int32_t EntreeIndex::tries() const {
  return static_cast<std::int32_t>(octets::lit_entier(octets.data(), entree_index::tries));
}
void EntreeIndex::met_tries(std::int32_t v) {
  octets::ecrit_entier(octets.data(), entree_index::tries, static_cast<std::uint32_t>(v));
}

// --- Movement --------------------------------------------------------------------

EnregistrementMouvement EnregistrementMouvement::vierge() {
  return modele_vierge<EnregistrementMouvement>(mouvement::champs);
}

std::string EnregistrementMouvement::date() const { return lit_texte(octets, mouvement::date); }
void EnregistrementMouvement::met_date(std::string_view v) {
  ecrit_texte(octets, mouvement::date, v);
}
std::string EnregistrementMouvement::heure() const { return lit_texte(octets, mouvement::heure); }
void EnregistrementMouvement::met_heure(std::string_view v) {
  ecrit_texte(octets, mouvement::heure, v);
}
std::string EnregistrementMouvement::code() const { return lit_texte(octets, mouvement::code); }
void EnregistrementMouvement::met_code(std::string_view v) {
  ecrit_texte(octets, mouvement::code, v);
}
std::string EnregistrementMouvement::reserve() const {
  return lit_texte(octets, mouvement::reserve);
}
void EnregistrementMouvement::met_reserve(std::string_view v) {
  ecrit_texte(octets, mouvement::reserve, v);
}
float EnregistrementMouvement::quantite() const {
  return octets::lit_simple(octets.data(), mouvement::quantite);
}
void EnregistrementMouvement::met_quantite(float v) {
  octets::ecrit_simple(octets.data(), mouvement::quantite, v);
}
std::array<std::uint8_t, 8> EnregistrementMouvement::valeur() const {
  return lit_8(octets, mouvement::valeur);
}
void EnregistrementMouvement::met_valeur(const std::array<std::uint8_t, 8>& v) {
  octets::ecrit_octets(octets.data(), mouvement::valeur, v);
}
std::int32_t EnregistrementMouvement::poste() const {
  return static_cast<std::int32_t>(octets::lit_entier(octets.data(), mouvement::poste));
}
void EnregistrementMouvement::met_poste(std::int32_t v) {
  octets::ecrit_entier(octets.data(), mouvement::poste, static_cast<std::uint32_t>(v));
}
std::int16_t EnregistrementMouvement::utilisateur() const {
  return static_cast<std::int16_t>(octets::lit_entier(octets.data(), mouvement::utilisateur));
}
void EnregistrementMouvement::met_utilisateur(std::int16_t v) {
  octets::ecrit_entier(octets.data(), mouvement::utilisateur, static_cast<std::uint16_t>(v));
}
std::string EnregistrementMouvement::origine() const {
  return lit_texte(octets, mouvement::origine);
}
void EnregistrementMouvement::met_origine(std::string_view v) {
  ecrit_texte(octets, mouvement::origine, v);
}

}  // namespace pontex

#include "pontex/data/inter_logg.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "pontex/shared/fichier_records.h"
#include "pontex/shared/octets.h"

namespace pontex {

namespace {

// Window-state record, 128 bytes. Record 1 is the header: "#INIT#" as its
// key and the entry count; entry i is record i + 1. The reserved texts are
// spaces in every record this store writes.
constexpr std::size_t longueur_record = 128;
namespace champ {
constexpr Champ cle{0, 15, Sorte::texte};        // 1 text, upper case
constexpr Champ reserve2{15, 8, Sorte::texte};   // 2 text, unused here
constexpr Champ valeur{23, 40, Sorte::texte};    // 3 text, cut at 40 characters
constexpr Champ reserves{63, 61, Sorte::texte};  // 4 and 5 texts, unused here
constexpr Champ compte{124, 4, Sorte::entier};   // 6 Long, header only: entries stored
constexpr Champ champs[] = {cle, reserve2, valeur, reserves, compte};
}  // namespace champ
static_assert(champs_disjoints(champ::champs, longueur_record));
constexpr std::string_view marque_entete = "#INIT#";

// The entry count is a 16-bit number and entry i is record i + 1, so a
// header may count at most 32,766 entries. Anything else is not a count
// this store ever wrote.
constexpr std::int32_t compte_max = 32766;

using Record = std::array<std::uint8_t, longueur_record>;

// What one operation on the store holds: the open file, one record, the
// prepared search key, the position found by the last search and the entry
// count of the header. Nothing survives the operation.
struct Logg {
  FichierRecords fichier;
  Record tampon{};
  std::string cle_recherche;
  std::int32_t trouve = -1;
  std::int16_t nombre = 0;
};

std::int32_t compte(const Record& r) {
  return static_cast<std::int32_t>(octets::lit_entier(r.data(), champ::compte));
}

void fixe_compte(Record& r, std::int32_t n) {
  octets::ecrit_entier(r.data(), champ::compte, static_cast<std::uint32_t>(n));
}

// Text fields to spaces, count to 0: what a record holds before anything was
// stored in it, and what a record beyond the end of the file reads as.
void vide(Record& r) { octets::blanchit(r, champ::champs); }

Resultat lit_record(Logg& l, std::int64_t numero) {
  std::size_t lus = 0;
  Resultat r = l.fichier.lit(numero, l.tampon.data(), 1, lus);
  if (r && lus == 0) vide(l.tampon);
  return r;
}

Resultat ecrit_record(Logg& l, std::int64_t numero) {
  return l.fichier.ecrit(numero, l.tampon.data(), 1);
}

// Windows-1252 upper case: ASCII letters, the accented small letters of
// 0xE0..0xFE (0xF7 is the division sign), and š œ ž ÿ, which sit apart.
char majuscule(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 0x20);
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 0x20);
  switch (u) {
    case 0x9A:
      return static_cast<char>(0x8A);
    case 0x9C:
      return static_cast<char>(0x8C);
    case 0x9E:
      return static_cast<char>(0x8E);
    case 0xFF:
      return static_cast<char>(0x9F);
    default:
      return c;
  }
}

// Keys are compared on 15 upper-case characters, so " posifen " and
// "POSIFEN" are the same key.
std::string prepare_cle(std::string_view cle) {
  const auto debut = cle.find_first_not_of(' ');
  if (debut == std::string_view::npos) {
    cle = {};
  } else {
    cle = cle.substr(debut, cle.find_last_not_of(' ') - debut + 1);
  }
  std::string s(cle.substr(0, champ::cle.largeur));
  s.resize(champ::cle.largeur, ' ');
  std::transform(s.begin(), s.end(), s.begin(), majuscule);
  return s;
}

// Appends a blank entry after the counted ones and raises the header's
// count. The entry is written before the count, so a refused or failed
// write never leaves a count that points at a record that was not written.
Resultat ajoute_logg(Logg& l) {
  if (Resultat r = lit_record(l, 1); !r) return r;
  const std::int32_t c = compte(l.tampon);
  if (c < 0 || c >= compte_max) return Resultat::echec("window-state store full or damaged");
  const std::int32_t n = c + 1;
  Record entete = l.tampon;
  fixe_compte(entete, n);

  vide(l.tampon);
  if (Resultat r = ecrit_record(l, n + 1); !r) return r;
  l.tampon = entete;
  if (Resultat r = ecrit_record(l, 1); !r) return r;
  vide(l.tampon);
  l.trouve = n;
  return Resultat::succes();
}

// Opens the store, creating it when missing. A header that this store did
// not write (a new file, another program's file, or a count no store of ours
// can hold) is set back to an empty store: its old entries are forgotten.
Resultat ouvre_logg(Logg& l, std::string_view chemin) {
  if (Resultat r = l.fichier.ouvre(chemin, longueur_record, FichierRecords::Creation::si_absent);
      !r)
    return r;
  if (Resultat r = lit_record(l, 1); !r) return r;
  const std::int32_t c = compte(l.tampon);
  const bool marque =
      octets::lit_texte(l.tampon.data(), champ::cle, marque_entete.size()) == marque_entete;
  if (!marque || c < 0 || c > compte_max) {
    // On a new file this writes the header and one blank entry after it.
    // When the old count is unusable the blank entry is skipped and only
    // the header is set back.
    (void)ajoute_logg(l);
    vide(l.tampon);
    octets::ecrit_texte(l.tampon.data(), champ::cle, marque_entete);
    if (Resultat r = ecrit_record(l, 1); !r) return r;
  }
  l.nombre = static_cast<std::int16_t>(compte(l.tampon));
  return Resultat::succes();
}

// Entries are read one by one up to the header's count, but never past the
// records the file really holds: a damaged count must not turn into
// thousands of reads of nothing.
Resultat cherche_logg(Logg& l) {
  l.trouve = -1;
  const std::int64_t dans_fichier = std::max<std::int64_t>(l.fichier.nombre_records() - 1, 0);
  const std::int64_t fin = std::min<std::int64_t>(l.nombre, dans_fichier);
  for (std::int64_t i = 1; i <= fin; ++i) {
    if (Resultat r = lit_record(l, i + 1); !r) return r;
    if (octets::lit_texte(l.tampon.data(), champ::cle) == l.cle_recherche) {
      l.trouve = static_cast<std::int32_t>(i);
      break;
    }
  }
  return Resultat::succes();
}

}  // namespace

std::string lit_logg(std::string_view cle, std::string_view chemin) {
  Logg l;
  if (!ouvre_logg(l, chemin)) return "";
  l.cle_recherche = prepare_cle(cle);
  std::string valeur;
  if (cherche_logg(l) && l.trouve > 0 && lit_record(l, l.trouve + 1)) {
    valeur = octets::lit_texte(l.tampon.data(), champ::valeur);
  }
  l.fichier.ferme();
  return valeur;
}

Resultat ecrit_logg(std::string_view cle, std::string_view valeur, std::string_view chemin) {
  Logg l;
  if (Resultat r = ouvre_logg(l, chemin); !r) return r;
  l.cle_recherche = prepare_cle(cle);
  if (Resultat r = cherche_logg(l); !r) return r;
  if (l.trouve < 0) {
    if (Resultat r = ajoute_logg(l); !r) return r;
  }
  if (Resultat r = lit_record(l, l.trouve + 1); !r) return r;
  octets::ecrit_texte(l.tampon.data(), champ::cle, l.cle_recherche);
  octets::ecrit_texte(l.tampon.data(), champ::valeur, valeur);
  Resultat r = ecrit_record(l, l.trouve + 1);
  l.fichier.ferme();
  return r;
}

}  // namespace pontex

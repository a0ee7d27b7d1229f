#pragma once
// Sample cash-register maker: writes a consistent cash-register folder for
// the tests, the demo and the benchmarks, and the small pieces tests need to
// build any shape of file by hand (one article, an index from a list of
// entries, a movement file header) and to read records back by number.
//
// A folder made by `fabrique_caisse` holds:
//  - "w_caiar4.wdo": header record (field 11 = N) and N articles with French
//    designations (Windows-1252 accents included), 13-digit article codes,
//    alternative references at extension positions 85..99, exclusion mark
//    (position 100) and exchange mark (position 101), stock and second
//    quantity, an 8-byte article value, and non-blank bytes in every field
//    Pontex does not use, so a test can see a field overwritten by mistake;
//  - "w_caur44.wdo": companion file, one 512-byte header record;
//  - "W_caiind.WDO": index. The server sends back the reference it received
//    in the export: the article code when the reference mode is 0, the
//    alternative reference otherwise. Both are indexed ("A" + reference), so
//    a register works with either mode. Codes are all digits and
//    alternative references always hold letters and a dash, so a code never
//    equals another article's alternative reference. Entries 1..S are sorted
//    by the byte value of the upper-cased 16-byte key; the tail S+1..T holds
//    the keys of the newest articles in article order, unsorted, as the
//    cash-register program leaves an article created since its last sort;
//  - "W_CAIREC.WDO": movement file, header record only (M = 0 unless asked);
//  - "w_cai020.wdo": the cash register's main file (only its presence counts).
//
// Folder values are Windows-style texts ending with a backslash, as
// "#FICBASE#" holds them ("/tmp/caisse\" works on Linux). Everything is
// deterministic for a given seed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/data/enregistrements.h"
#include "pontex/shared/resultat.h"

namespace pontex::fabrique {

struct ParametresCaisse {
  std::int32_t nombre_articles = 100;
  // Sorted entries S: -1 = every key not in the tail. A smaller number caps
  // the sorted part; the keys beyond it are left out of the index (articles
  // the cash-register program has not indexed: the lookup cannot find them).
  std::int32_t entrees_triees = -1;
  // Unsorted entries after the sorted ones: the keys of the last articles.
  std::int32_t entrees_queue = 0;
  unsigned graine = 1;
  // Shares of articles (0..1), drawn independently:
  double part_exclus = 0.05;          // exclusion mark "1" (never exported)
  double part_hors_echange = 0.10;    // exchange mark "0" or " " (never exported)
  double part_sans_reference = 0.05;  // alternative reference blank
  bool indexe_codes = true;           // "A" + article code in the index
  // Codes as this prefix and the article number on six digits ("ART000017"),
  // for a delivery written without reading the register; empty: bar codes.
  std::string prefixe_codes;
  bool indexe_references = true;       // "A" + alternative reference (when not blank)
  bool fichier_principal = true;       // write "w_cai020.wdo"
  std::int32_t mouvements_entete = 0;  // M in the movement file's header
};

// One index entry as written: key ("A" + reference, cut/padded to 16 when
// written) and article number.
struct EntreeFabriquee {
  std::string cle;
  std::int32_t numero = 0;
};

// What a register holds, in memory.
struct ContenuCaisse {
  std::vector<EnregistrementArticle> articles;  // article k at [k - 1]
  std::vector<EntreeFabriquee> index;           // entry e at [e - 1]
  std::int32_t entrees_triees = 0;              // S of the index header
};

// Fields of one article; everything else is filled with non-blank bytes.
struct DescriptionArticle {
  std::string code;
  std::string designation;
  float stock = 0.0f;
  float quantite2 = 0.0f;
  std::string reference_alternative;  // 15 characters at extension 85..99
  char marque_exclusion = '0';
  char marque_echange = '1';
  std::int64_t valeur = 0;  // article value, written as 8 little-endian bytes
};

EnregistrementArticle fabrique_article(const DescriptionArticle& d);

// The 16-byte key of the index for a reference, as the lookup builds it:
// "A" + reference, trailing spaces removed, padded/cut to 16, upper case.
std::string cle_de(std::string_view reference);

// Sorts entries by the byte value of their upper-cased 16-byte key (stable:
// equal keys keep their order).
void trie_entrees(std::vector<EntreeFabriquee>& entrees);

// Builds a register in memory (no file written).
ContenuCaisse genere_caisse(const ParametresCaisse& p);

// Builds and writes a whole folder (created when missing; its parent must
// exist). Existing cash-register files are replaced.
Resultat fabrique_caisse(const std::string& dossier, const ParametresCaisse& p,
                         ContenuCaisse* contenu = nullptr);

// Writes "w_caiar4.wdo" anew: header with field 11 = `nombre_entete`
// (default: the number of articles), then the articles; and the companion
// "w_caur44.wdo" when the folder has none.
Resultat ecrit_articles(const std::string& dossier,
                        const std::vector<EnregistrementArticle>& articles,
                        std::optional<std::int32_t> nombre_entete = std::nullopt);

// Writes "W_caiind.WDO" anew with exactly these entries in this order: header
// T = `total` (default: the number of entries), S = `triees`, header key
// `cle_entete` (spaces by default; the lookup compares the header's key like
// an entry's when it probes position 0 or scans down to j = 0). Nothing is
// sorted here: any index shape can be built, damaged ones included.
Resultat ecrit_index(const std::string& dossier, const std::vector<EntreeFabriquee>& entrees,
                     std::int32_t triees, std::optional<std::int32_t> total = std::nullopt,
                     std::string_view cle_entete = {});

// Writes "W_CAIREC.WDO" anew with its header only (field 7 = M; the other
// header bytes non-blank so a test sees them left alone).
Resultat ecrit_mouvements_vides(const std::string& dossier, std::int32_t m = 0);

// Reads back one record of a folder by number; 0 is the header record
// (article k = record k + 1, and so on). Fails beyond the end of the file.
Resultat lit_article_dossier(const std::string& dossier, std::int32_t k, EnregistrementArticle& a);
Resultat lit_entree_dossier(const std::string& dossier, std::int32_t e, EntreeIndex& entree);
Resultat lit_mouvement_dossier(const std::string& dossier, std::int32_t m,
                               EnregistrementMouvement& mouvement);

}  // namespace pontex::fabrique

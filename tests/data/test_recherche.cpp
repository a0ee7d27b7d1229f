// Finding an article by reference: the key, index shapes, damaged or changing indexes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "pontex/data/caisse.h"
#include "pontex/data/cle_index.h"
#include "pontex/shared/fichiers.h"
#include "tests/support/dossier_temporaire.h"
#include "tools/fabrique_caisse.h"

namespace pontex {
namespace {

using fabrique::EntreeFabriquee;
using test::DossierTemporaire;
using test::ecrit_octets;
using test::lit_octets;

// References "R000001"...; sorted index entries with article numbers 1001...
std::string ref(int i) {
  std::string n = std::to_string(i);
  return "R" + std::string(6 - n.size(), '0') + n;
}

std::vector<EntreeFabriquee> triees(int nombre) {
  std::vector<EntreeFabriquee> e;
  for (int i = 1; i <= nombre; ++i) e.push_back({"A" + ref(i), 1000 + i});
  return e;
}

// An index file's bytes, to rewrite it under an open lookup as the till does.
std::string octets_index(const std::vector<EntreeFabriquee>& entrees, std::int32_t s) {
  std::string octets;
  EntreeIndex entete = EntreeIndex::vierge();
  entete.met_numero(static_cast<std::int32_t>(entrees.size()));
  entete.met_tries(s);
  octets.append(reinterpret_cast<const char*>(entete.octets.data()), 24);
  for (const auto& x : entrees) {
    EntreeIndex y = EntreeIndex::vierge();
    y.met_cle(x.cle);
    y.met_numero(x.numero);
    octets.append(reinterpret_cast<const char*>(y.octets.data()), 24);
  }
  return octets;
}

int sondes_max(std::int64_t s) { return 2 * static_cast<int>(std::ceil(std::log2(double(s)))); }

// The lookup made one read call per probe and per tail entry, as it was
// before the block reads: the article found, how, and the probes made are
// what the block reads must give on any index.
struct LookupUneAUne {
  IssueCaisse issue = IssueCaisse::absent;
  std::int32_t article = -1;
  int sondes = 0;
};

LookupUneAUne cherche_une_a_une(const std::filesystem::path& chemin, std::string_view reference) {
  LookupUneAUne r;
  FichierRecords f;
  bool panne = !f.ouvre_lecture(chemin.string(), 24);
  // Entry at record n; blank when the file does not hold it.
  const auto lit = [&](std::int64_t n, EntreeIndex& e) {
    std::size_t lus = 0;
    e = EntreeIndex::vierge();
    if (!panne && !f.lit(n, e.octets.data(), 1, lus)) panne = true;
    if (lus != 1) e = EntreeIndex::vierge();
    return !panne && lus == 1;
  };
  const std::string cle = cle_recherche(reference);
  EntreeIndex entete;
  lit(1, entete);
  const auto triees = [&](std::int64_t s, bool* hors) -> std::int32_t {
    std::vector<std::int64_t> vues(202);
    std::int64_t pas = s / 2, pos = pas;
    for (std::int64_t i = 1; i <= s && !panne; ++i) {
      EntreeIndex e;
      const bool lue = lit(pos + 1, e);
      if (panne) return 0;
      ++r.sondes;
      if (!lue && hors) return *hors = true, 0;
      if (i <= 200) vues[i] = pos;
      pas = std::max<std::int64_t>(pas / 2, 1);
      const int c = compare_cle_entree(cle, e.octets.data());
      if (c == 0) return e.numero();
      pos += c > 0 ? pas : -pas;
      if (pos > s || pos < 1) break;
      if (i > 4 && (i > 200 || (vues[i] == vues[i - 2] && vues[i - 1] == vues[i - 3]))) break;
    }
    return 0;
  };
  const auto fin = [&](std::int32_t article) {
    r.issue = panne           ? IssueCaisse::illisible
              : article == -1 ? IssueCaisse::absent
                              : IssueCaisse::trouve;
    r.article = panne ? -1 : article;
    return r;
  };
  if (panne) return fin(-1);
  const std::int64_t s_entete = std::max<std::int64_t>(entete.tries(), 0);
  bool hors = false;
  std::int32_t trouve = triees(s_entete, &hors);
  if (panne || trouve != 0) return fin(trouve);
  const std::int64_t entrees = f.nombre_records() - 1;
  const std::int64_t s =
      std::clamp<std::int64_t>(entete.tries(), 0, std::max<std::int64_t>(entrees, 0));
  if (hors || s != s_entete) {
    trouve = triees(s, nullptr);
    if (panne || trouve != 0) return fin(trouve);
  }
  lit(1, entete);  // the tail reads T again
  const std::int64_t t = std::min(
      std::clamp<std::int64_t>(entete.numero(), 0, std::max<std::int64_t>(entrees, 0)), entrees);
  for (std::int64_t j = t; j >= s && !panne; --j) {
    EntreeIndex e;
    if (lit(j + 1, e) &&
        egale_cle_entree(reinterpret_cast<const std::uint8_t*>(cle.data()), e.octets.data()))
      return fin(e.numero());
  }
  return fin(-1);
}

class Recherche : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::string base_ = dossier_.valeur_dossier();
  std::filesystem::path fichier_ = dossier_.chemin() / "W_caiind.WDO";
  Caisse caisse_{base_};
  StatsRecherche st_;

  void index(const std::vector<EntreeFabriquee>& e, std::int32_t s,
             std::optional<std::int32_t> t = std::nullopt, std::string_view cle_entete = {}) {
    ASSERT_TRUE(fabrique::ecrit_index(base_, e, s, t, cle_entete));
  }
  std::int32_t cherche(std::string_view reference) {
    return caisse_.cherche_article(reference, &st_).article;
  }
  // System calls reading the index during one lookup.
  std::uint64_t lectures(std::string_view reference, std::int32_t& resultat) {
    const std::uint64_t avant = compteurs_es().lectures;
    resultat = cherche(reference);
    return compteurs_es().lectures - avant;
  }
};

// --- The key --------------------------------------------------------------------

TEST(CleRecherche, ConstructionDeLaCle) {
  EXPECT_EQ(cle_recherche("bou-000001   "), "ABOU-000001     ");
  EXPECT_EQ(cle_recherche("  x"), "A  X            ");  // leading spaces stay
  EXPECT_EQ(cle_recherche(""), "A               ");
  EXPECT_EQ(cle_recherche("   "), "A               ");
  EXPECT_EQ(cle_recherche("abcdefghijklmnopqrstuvwxyz"), "AABCDEFGHIJKLMNO");
  EXPECT_EQ(cle_recherche(std::string(200, 'z') + "   "), "A" + std::string(15, 'Z'));
  EXPECT_EQ(cle_recherche("abcdefghijklmn  q"), "AABCDEFGHIJKLMN ");
  EXPECT_EQ(cle_recherche(std::string("a\0b", 3)), std::string("AA\0B", 4) + std::string(12, ' '));
  // Windows-1252: "pâté œuf ÿ" in upper case; ß, µ and ÷ have no capital.
  EXPECT_EQ(cle_recherche("p\342t\351 \234uf \377"),
            "AP\302T\311 \214UF \237" + std::string(5, ' '));
  EXPECT_EQ(cle_recherche("\337\265\367"), "A\337\265\367" + std::string(12, ' '));
}

// The tail scan's equality agrees with the ordering for every byte at each
// of the 16 places, and the ordering is the byte order of the stored key in
// upper case, wherever the first difference falls.
TEST(CleRecherche, EgaliteDeLaQueueCommeLaComparaison) {
  const std::string cle = cle_recherche("p\342t\351-0123456789");
  const auto* k = reinterpret_cast<const std::uint8_t*>(cle.data());
  for (std::size_t place = 0; place < longueur_cle; ++place) {
    for (int octet = 0; octet < 256; ++octet) {
      std::uint8_t entree[longueur_cle];
      std::memcpy(entree, k, longueur_cle);
      entree[place] = static_cast<std::uint8_t>(octet);
      ASSERT_EQ(egale_cle_entree(k, entree), compare_cle_entree(cle, entree) == 0)
          << "place " << place << ", byte " << octet;
      const int majuscule = majuscule_1252(static_cast<std::uint8_t>(octet));
      const int attendu = k[place] < majuscule ? -1 : k[place] > majuscule ? 1 : 0;
      ASSERT_EQ(compare_cle_entree(cle, entree), attendu)
          << "place " << place << ", byte " << octet;
    }
  }
  std::string minuscules = "ap\342t\351-0123456789";
  minuscules.resize(longueur_cle, ' ');
  EXPECT_TRUE(egale_cle_entree(k, reinterpret_cast<const std::uint8_t*>(minuscules.data())));
}

// --- Sorted entries -------------------------------------------------------------

// Every sorted key is found with few probes, no tail scan (but for S = 1).
TEST_F(Recherche, ChaqueCleTrieeEstTrouvee) {
  for (int s : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 33, 64, 100, 127, 255, 256, 1000}) {
    index(triees(s), s);
    for (int i = 1; i <= s; ++i) {
      ASSERT_EQ(cherche(ref(i)), 1000 + i) << "S = " << s << ", entry " << i;
      if (s >= 2) {
        EXPECT_LE(st_.sondes, sondes_max(s)) << "S = " << s << ", entry " << i;
        EXPECT_EQ(st_.lectures_entete, 1) << "S = " << s << ", entry " << i;
      }
    }
  }
}

// An absent key: the halving search ends, then the tail scan (entry S only) finds nothing.
TEST_F(Recherche, CleAbsenteDUnGrandIndexTrie) {
  const int s = 10000;
  index(triees(s), s);
  for (const char* r : {"R005000A", "R000000", "R999999", "Q", "\377"}) {
    std::int32_t res = 0;
    const std::uint64_t n = lectures(r, res);
    EXPECT_EQ(res, -1) << r;
    EXPECT_LE(st_.sondes, sondes_max(s)) << r;
    EXPECT_EQ(st_.lectures_entete, 2) << r;
    EXPECT_EQ(st_.entrees_queue, 1) << r;
    EXPECT_EQ(n, 2u + st_.lectures_triees + 1u) << r;
    EXPECT_LE(st_.lectures_triees, 9) << r;  // 14 probes, the last ones in one window
  }
}

// --- Unsorted tail --------------------------------------------------------------

TEST_F(Recherche, CleSeulementDansLaQueueLaPlusRecenteGagne) {
  std::vector<EntreeFabriquee> e = triees(1000);
  e.push_back({"AZ-NOUVEAU", 7});
  e.push_back({"AA-NOUVEAU", 8});  // would sort first: only the scan finds it
  e.push_back({"AR000500", 9});    // a newer entry for a sorted key
  index(e, 1000);
  EXPECT_EQ(cherche("a-nouveau"), 8);
  EXPECT_EQ(st_.lectures_entete, 2);
  EXPECT_EQ(st_.entrees_queue, 2);  // entries 1003 and 1002
  EXPECT_EQ(cherche("z-nouveau"), 7);
  EXPECT_EQ(cherche(ref(500)), 1500);  // the sorted hit ends the lookup
  EXPECT_EQ(st_.lectures_entete, 1);
  // The same key twice in the tail: the newer wins; keys are compared in upper case on both sides.
  e.insert(e.end(), {{"AX", 21}, {"AY", 22}, {"Ax", 23}, {"AW", 24}});
  index(e, 1000);
  EXPECT_EQ(cherche("X"), 23);
  EXPECT_EQ(st_.entrees_queue, 2);
}

// S = 0: no probe; the scan runs from T down to the header record, compared as an entry.
TEST_F(Recherche, IndexSansEntreeTriee) {
  index({{"AB", 5}, {"AC", 6}, {"AB", 7}}, 0, std::nullopt, "AHEAD");
  EXPECT_EQ(cherche("b"), 7);
  EXPECT_EQ(st_.sondes, 0);
  EXPECT_EQ(cherche("c"), 6);
  EXPECT_EQ(cherche("head"), 3);
  EXPECT_EQ(st_.entrees_queue, 4);
  std::int32_t res = 0;
  EXPECT_EQ(lectures("absent", res), 3u);  // two headers, one block
  EXPECT_EQ(res, -1);
}

// S = 1: the only probe reads the header record; the tail scan finds entry 1.
TEST_F(Recherche, IndexAUneEntreeTriee) {
  index({{"ABAR", 7}, {"AQUX", 8}, {"AZED", 9}}, 1, std::nullopt, "AFOO");
  EXPECT_EQ(cherche("bar"), 7);
  EXPECT_EQ(st_.sondes, 1);
  EXPECT_EQ(st_.entrees_queue, 3);
  EXPECT_EQ(cherche("foo"), 3);  // the header probed as an entry: its T
  EXPECT_EQ(st_.sondes, 1);
  EXPECT_EQ(st_.lectures_entete, 1);
}

// A match carrying article number 0 is no match: the tail scan decides.
TEST_F(Recherche, NumeroDArticleZero) {
  std::vector<EntreeFabriquee> e = triees(100);
  e[49].numero = 0;  // "R000050"
  index(e, 100);
  EXPECT_EQ(cherche(ref(50)), -1);
  EXPECT_EQ(st_.lectures_entete, 2);
  e.push_back({"AR000050", 77});
  index(e, 100);
  EXPECT_EQ(cherche(ref(50)), 77);
  e.back().numero = 0;  // the only match anywhere carries 0
  index(e, 100);
  EXPECT_EQ(cherche(ref(50)), 0);
}

// The tail is read newest first, one read call per block, nothing more.
TEST_F(Recherche, QueueLueParBlocs) {
  std::vector<EntreeFabriquee> e = triees(32767);
  for (int i = 0; i < 1000; ++i) e.push_back({"AT" + std::to_string(i), 50000 + i});
  index(e, 32767);
  std::int32_t res = 0;
  std::uint64_t n = lectures("absent", res);
  EXPECT_EQ(res, -1);
  EXPECT_EQ(st_.entrees_queue, 1001);
  EXPECT_LE(st_.sondes, sondes_max(32767));
  EXPECT_EQ(n, 2u + st_.lectures_triees + 4u);  // 1001 entries in blocks of 256
  n = lectures("T999", res);                    // newest entry: first block only
  EXPECT_EQ(res, 50999);
  EXPECT_EQ(n, 2u + st_.lectures_triees + 1u);
  n = lectures(ref(12345), res);
  EXPECT_EQ(res, 1000 + 12345);
  EXPECT_EQ(n, 1u + st_.lectures_triees);
}

// The halving search reads its last probes as one window: on every index shape below, sorted or
// not, damaged or cut short, each reference gives the same article, the same failure and the same
// probes as the lookup that read every probe alone, with fewer read calls.
TEST_F(Recherche, FenetreCommeUneLectureParSonde) {
  struct Forme {
    std::string nom;
    std::vector<EntreeFabriquee> entrees;
    std::int32_t s;
    std::optional<std::int32_t> t;
    std::size_t coupe = 0;  // bytes the file keeps, 0: all
  };
  std::vector<Forme> formes;
  for (int n : {1, 2, 63, 64, 65, 129, 257, 513, 514, 1000, 5000})
    formes.push_back({"sorted " + std::to_string(n), triees(n), n, {}, 0});
  std::vector<EntreeFabriquee> e = triees(3000);
  for (int i = 0; i < 300; ++i)
    e.push_back({"A" + (i % 3 ? "T" + std::to_string(i) : ref(i * 7)), 9000 + i});
  formes.push_back({"unsorted tail", e, 3000, {}, 0});
  std::mt19937 tirage(7);
  e = triees(2000);
  std::shuffle(e.begin(), e.end(), tirage);  // the halving search swings and misses
  formes.push_back({"shuffled", e, 2000, {}, 0});
  e = triees(3000);
  for (std::size_t i = 0; i + 100 <= e.size(); i += 300)
    std::reverse(e.begin() + i, e.begin() + i + 100);
  formes.push_back({"runs out of order", e, 3000, {}, 0});
  e = triees(1000);
  for (std::size_t i = 0; i < e.size(); i += 7) e[i].numero = 0;
  formes.push_back({"article 0", e, 1000, {}, 0});
  formes.push_back({"S and T far beyond", triees(10), 2000000000, 2000000000, 0});
  for (std::int32_t s : {11, 12, 16, 400})
    formes.push_back({"S beyond " + std::to_string(s), triees(300), s, s, 0});
  formes.push_back({"T beyond", triees(10), 5, 2000000000, 0});
  formes.push_back({"negative", triees(10), -3, -8, 0});
  formes.push_back({"S = 0", triees(20), 0, {}, 0});
  formes.push_back({"cut short", triees(1000), 1000, std::nullopt, 24 * 901 + 10});
  formes.push_back({"cut in the header", triees(1000), 1000, std::nullopt, 10});

  std::uint64_t lectures_sondes = 0, sondes = 0;
  for (const Forme& f : formes) {
    index(f.entrees, f.s, f.t);
    if (f.coupe) ecrit_octets(fichier_, lit_octets(fichier_).substr(0, f.coupe));
    std::vector<std::string> references = {"absent", "R000000", "R999999", "Q",
                                           "\377",   "",        "r000500"};
    for (const auto& x : f.entrees) references.push_back(x.cle.substr(1));
    for (const std::string& r : references) {
      const RechercheArticle fait = caisse_.cherche_article(r, &st_);
      const LookupUneAUne attendu = cherche_une_a_une(fichier_, r);
      ASSERT_EQ(fait.article, attendu.article) << f.nom << ", " << r;
      ASSERT_EQ(fait.issue, attendu.issue) << f.nom << ", " << r;
      ASSERT_EQ(st_.sondes, attendu.sondes) << f.nom << ", " << r;
      ASSERT_LE(st_.lectures_triees, st_.sondes) << f.nom << ", " << r;
      lectures_sondes += static_cast<std::uint64_t>(st_.lectures_triees);
      sondes += static_cast<std::uint64_t>(st_.sondes);
    }
  }
  EXPECT_LT(lectures_sondes * 2, sondes);  // the windows do spare calls
  // An index that cannot be read is never taken for one without the key.
  index(triees(1000), 1000);
  for (Operation refusee : {Operation::ouverture, Operation::lecture}) {
    test::EchecInjecte echec([refusee](Operation op, std::string_view) { return op == refusee; });
    EXPECT_EQ(caisse_.cherche_article(ref(500)).issue, IssueCaisse::illisible);
    EXPECT_EQ(cherche_une_a_une(fichier_, ref(500)).issue, IssueCaisse::illisible);
  }
}

// --- Damaged, foreign or changing files ------------------------------------------------

// Counts beyond the file must not become billions of reads, negative ones nothing at all.
TEST_F(Recherche, EnTeteQuiDepasseLeFichier) {
  index(triees(10), 2000000000, 2000000000);
  std::int32_t res = 0;
  EXPECT_LE(lectures("absent", res), 20u);
  EXPECT_EQ(res, -1);
  EXPECT_EQ(cherche(ref(7)), 1007);
  // S a little beyond the entries (an index cut short while the till rewrites it): every entry the
  // file holds is still found, whether the search runs past the end of the file or not, and an
  // absent key reads little.
  for (const std::int32_t s : {11, 12, 16}) {
    index(triees(10), s, s);
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(cherche(ref(i)), 1000 + i) << "S = " << s << ", " << i;
    EXPECT_LE(lectures("absent", res), 20u) << "S = " << s;
    EXPECT_EQ(res, -1);
  }
  index(triees(10), 5, 2000000000);  // T too large, the tail is what exists
  EXPECT_EQ(cherche(ref(9)), 1009);
  EXPECT_EQ(st_.entrees_queue, 2);
  index(triees(10), -3, -8);
  EXPECT_EQ(cherche(ref(9)), -1);
  EXPECT_EQ(st_.sondes, 0);
  EXPECT_EQ(st_.entrees_queue, 1);  // the header record only
}

TEST_F(Recherche, FichiersVidesTronquesOuIllisibles) {
  std::int32_t res = 0;
  EXPECT_EQ(lectures("x", res), 0u);  // missing: nothing read, nothing created
  EXPECT_EQ(res, -1);
  EXPECT_FALSE(std::filesystem::exists(fichier_));
  ecrit_octets(fichier_, "");
  EXPECT_EQ(lectures("x", res), 2u);  // empty: its header twice
  EXPECT_EQ(res, -1);
  index(triees(4), 4);
  ecrit_octets(fichier_, lit_octets(fichier_).substr(0, 3 * 24 + 10));  // entries 1, 2 and a bit
  EXPECT_EQ(cherche(ref(2)), 1002);
  EXPECT_EQ(cherche(ref(4)), -1);
  ecrit_octets(fichier_, "ABC");
  EXPECT_EQ(cherche(ref(1)), -1);
  index(triees(4), 4);
  for (Operation refusee : {Operation::ouverture, Operation::lecture}) {
    test::EchecInjecte echec([refusee](Operation op, std::string_view) { return op == refusee; });
    EXPECT_EQ(cherche(ref(1)), -1);
  }
}

// An entry the till adds during the search is seen: the tail scan reads T again.
TEST_F(Recherche, EntreeAjouteePendantLaRecherche) {
  std::vector<EntreeFabriquee> e = triees(10);
  index(e, 10);
  e.push_back({"ANOUVEAU", 99});
  int lecture = 0;
  test::EchecInjecte ajoute([&](Operation op, std::string_view chemin) {
    if (op == Operation::lecture && chemin.ends_with("W_caiind.WDO") && ++lecture == 2) {
      ecrit_octets(fichier_, octets_index(e, 10));
    }
    return false;
  });
  EXPECT_EQ(cherche("nouveau"), 99);
}

// An index that never settles under the search: stopped after 201 probes.
TEST_F(Recherche, AuPlus201Sondes) {
  const int s = 1000;
  auto contenu = [&](bool cles_petites) {
    return octets_index(std::vector<EntreeFabriquee>(s, {cles_petites ? "A0000" : "AZZZZ", 1}), s);
  };
  ecrit_octets(fichier_, contenu(true));
  // The keys all below the reference at one read call and all above it at
  // the next: each window read sends the search walking back the other way,
  // never two positions in a row twice, so neither the range nor the swing
  // test ends it.
  int lecture = 0;
  test::EchecInjecte reecrit([&](Operation op, std::string_view chemin) {
    if (op == Operation::lecture && chemin.ends_with("W_caiind.WDO") && ++lecture >= 2)
      ecrit_octets(fichier_, contenu(lecture % 2 == 0));
    return false;
  });
  EXPECT_EQ(cherche("M"), -1);
  EXPECT_EQ(st_.sondes, 201);
}

}  // namespace
}  // namespace pontex

// Article, index and movement records byte for byte, and the article file:
// its count, reads beyond the end, and writes that must leave every byte the
// cash-register program owns as it was.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pontex/data/caisse.h"
#include "pontex/data/enregistrements.h"
#include "pontex/shared/valeurs.h"
#include "tests/support/dossier_temporaire.h"
#include "tools/fabrique_caisse.h"

namespace pontex {
namespace {

using test::DossierTemporaire;
using test::ecrit_octets;
using test::lit_octets;

std::string octets_de(const std::uint8_t* p, std::size_t offset, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(p) + offset, n);
}

// Every byte of a record different and neither 0 nor a space.
template <typename E>
E motif() {
  E e;
  for (std::size_t i = 0; i < E::longueur; ++i)
    e.octets[i] = static_cast<std::uint8_t>(0x80 + i % 0x7F);
  return e;
}

// --- Record layouts --------------------------------------------------------------

TEST(Article, ChampsAuxBonsOffsets) {
  EnregistrementArticle a = EnregistrementArticle::vierge();
  a.met_code("3017620422003");
  a.met_designation("P\xC2T\xC9 DE CAMPAGNE");
  a.met_stock(12.5f);      // 0x41480000
  a.met_quantite2(-3.0f);  // 0xC0400000
  a.met_date_mouvement("05-12-2026");
  a.met_nombre_articles(0x01020304);

  const std::uint8_t* o = a.octets.data();
  EXPECT_EQ(octets_de(o, 0, 15), "3017620422003  ");
  EXPECT_EQ(octets_de(o, 15, 40), "P\xC2T\xC9 DE CAMPAGNE" + std::string(24, ' '));
  EXPECT_EQ(octets_de(o, 71, 4), std::string("\x00\x00\x48\x41", 4));
  EXPECT_EQ(octets_de(o, 79, 4), std::string("\x00\x00\x40\xC0", 4));
  EXPECT_EQ(octets_de(o, 93, 10), "05-12-2026");
  EXPECT_EQ(octets_de(o, 105, 4), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(a.stock(), 12.5f);
  EXPECT_EQ(a.quantite2(), -3.0f);
  EXPECT_EQ(a.nombre_articles(), 0x01020304);
}

TEST(Article, ExtensionReferenceEtMarques) {
  EnregistrementArticle a = motif<EnregistrementArticle>();
  a.octets[55] = 0x11;
  a.octets[62] = 0x88;
  // Extension positions 85..99, 100, 101 are bytes 197..211, 212, 213.
  for (std::size_t i = 0; i < 15; ++i) a.octets[197 + i] = static_cast<std::uint8_t>('a' + i);
  a.octets[212] = '0';
  a.octets[213] = '1';
  EXPECT_EQ(a.reference_alternative(), "abcdefghijklmno");
  EXPECT_EQ(a.marque_exclusion(), '0');
  EXPECT_EQ(a.marque_echange(), '1');
  EXPECT_EQ(a.extension(), octets_de(a.octets.data(), 113, 101));
  const auto v = a.valeur();
  EXPECT_EQ(v[0], 0x11);
  EXPECT_EQ(v[7], 0x88);
  EXPECT_EQ(a.code(), octets_de(a.octets.data(), 0, 15));
  EXPECT_EQ(a.designation(), octets_de(a.octets.data(), 15, 40));
}

TEST(Article, TexteCoupeOuCompleteParDesEspaces) {
  EnregistrementArticle a = motif<EnregistrementArticle>();
  const EnregistrementArticle avant = a;
  a.met_code("12345678901234567890");
  EXPECT_EQ(a.code(), "123456789012345");
  EXPECT_EQ(a.octets[15], avant.octets[15]) << "a long code spilled into the designation";
  a.met_code("");
  EXPECT_EQ(a.code(), std::string(15, ' '));
  a.met_code("AB  ");
  EXPECT_EQ(a.code(), "AB" + std::string(13, ' '));  // read keeps trailing spaces
  a.met_designation(std::string("A\0B", 3));
  EXPECT_EQ(a.designation().substr(0, 3), std::string("A\0B", 3));
}

TEST(Article, ViergeEspacesDansLesTextesZerosAilleurs) {
  const EnregistrementArticle a = EnregistrementArticle::vierge();
  for (std::size_t i = 0; i < 256; ++i) {
    const bool texte = i < 55 || (i >= 83 && i < 105) || (i >= 113 && i < 214);
    EXPECT_EQ(a.octets[i], texte ? ' ' : 0) << "byte " << i;
  }
  EXPECT_EQ(a.stock(), 0.0f);
  EXPECT_EQ(a.nombre_articles(), 0);
}

// Changing what a stock movement changes leaves every other byte alone.
TEST(Article, AllerRetourNeToucheQueLesChampsModifies) {
  const EnregistrementArticle avant = motif<EnregistrementArticle>();
  EnregistrementArticle a = avant;
  a.met_stock(a.stock() + 2.0f);
  a.met_quantite2(7.25f);
  a.met_date_mouvement("31-12-2099");
  for (std::size_t i = 0; i < 256; ++i) {
    const bool change = (i >= 71 && i < 75) || (i >= 79 && i < 83) || (i >= 93 && i < 103);
    if (!change) {
      EXPECT_EQ(a.octets[i], avant.octets[i]) << "byte " << i;
    }
  }
}

TEST(EntreeIndex, ChampsAuxBonsOffsets) {
  EntreeIndex e = EntreeIndex::vierge();
  EXPECT_EQ(e.cle(), std::string(16, ' '));
  EXPECT_EQ(e.numero(), 0);
  e.met_cle("A3017620422003");
  e.met_numero(-2);
  e.met_tries(0x7FFFFFFF);
  const std::uint8_t* o = e.octets.data();
  EXPECT_EQ(octets_de(o, 0, 16), "A3017620422003  ");
  EXPECT_EQ(octets_de(o, 16, 4), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(octets_de(o, 20, 4), std::string("\xFF\xFF\xFF\x7F", 4));
  e.met_cle("A12345678901234567");
  EXPECT_EQ(e.cle(), "A123456789012345");
  EXPECT_EQ(e.numero(), -2) << "a long key spilled into the article number";
}

TEST(Mouvement, ChampsAuxBonsOffsets) {
  EnregistrementMouvement m = EnregistrementMouvement::vierge();
  m.met_date("05-12-2026");
  m.met_heure("21:07");
  m.met_code("3017620422003");
  m.met_reserve("");
  m.met_quantite(-2.5f);  // 0xC0200000
  m.met_valeur({1, 2, 3, 4, 5, 6, 7, 8});
  m.met_poste(70000);  // 0x00011170
  m.met_utilisateur(-2);
  m.met_origine("-Serv:vpc-");
  const std::uint8_t* o = m.octets.data();
  EXPECT_EQ(octets_de(o, 0, 10), "05-12-2026");
  EXPECT_EQ(octets_de(o, 10, 5), "21:07");
  EXPECT_EQ(octets_de(o, 15, 15), "3017620422003  ");
  EXPECT_EQ(octets_de(o, 30, 6), "      ");
  EXPECT_EQ(octets_de(o, 36, 4), std::string("\x00\x00\x20\xC0", 4));
  EXPECT_EQ(octets_de(o, 40, 8), std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
  EXPECT_EQ(octets_de(o, 48, 4), std::string("\x70\x11\x01\x00", 4));
  EXPECT_EQ(octets_de(o, 52, 2), std::string("\xFE\xFF", 2));
  EXPECT_EQ(octets_de(o, 54, 10), "-Serv:vpc-");
  EXPECT_EQ(m.utilisateur(), -2);
  EXPECT_EQ(m.poste(), 70000);
  EXPECT_EQ(m.quantite(), -2.5f);
}

TEST(Octets, PetitBoutisteExtremes) {
  std::uint8_t o[4] = {0x00, 0x80, 0x00, 0x00};
  EXPECT_EQ(octets::lit_i16(o, 0), -32768);
  octets::ecrit_i32(o, 0, INT32_MIN);
  EXPECT_EQ(octets_de(o, 0, 4), std::string("\x00\x00\x00\x80", 4));
  EXPECT_EQ(octets::lit_i32(o, 0), INT32_MIN);
  // A Single keeps its exact bits, a NaN the register might hold included.
  const std::uint8_t nan[4] = {0x01, 0x00, 0xC0, 0x7F};
  std::uint8_t copie[4];
  octets::ecrit_f32(copie, 0, octets::lit_f32(nan, 0));
  EXPECT_EQ(octets_de(copie, 0, 4), octets_de(nan, 0, 4));
}

// --- The article file ------------------------------------------------------------

class FichierArticles : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::string base_ = dossier_.valeur_dossier();
  std::filesystem::path fichier_ = dossier_.chemin() / "w_caiar4.wdo";

  void ecrit_articles(int nombre, std::int32_t entete) {
    std::vector<EnregistrementArticle> articles;
    for (int k = 1; k <= nombre; ++k) {
      fabrique::DescriptionArticle d;
      d.code = "C" + std::to_string(k);
      d.designation = "ARTICLE";
      d.stock = static_cast<float>(k);
      articles.push_back(fabrique::fabrique_article(d));
    }
    ASSERT_TRUE(fabrique::ecrit_articles(base_, articles, entete));
  }
};

// More than 32,767 articles: the register is not taken for an empty one.
TEST_F(FichierArticles, NombreSur32Bits) {
  ecrit_articles(40000, 40000);
  Caisse caisse(base_);
  std::int32_t n = -1;
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 40000);
  EnregistrementArticle a;
  ASSERT_TRUE(caisse.lit_article(40000, a));
  EXPECT_EQ(a.stock(), 40000.0f);
  caisse.ferme_articles();

  // The configuration loader keeps the same count for the main window.
  ecrit_octets(dossier_.chemin() / "Pontex.wdo", "#FICBASE#" + base_ + "\r\n");
  HorlogeSysteme h;
  ValeursProgramme v(h);
  charge_parametres(v);
  EXPECT_EQ(v.nombre_articles, 40000);
  EXPECT_FALSE(v.caisse.articles_ouverts());
}

// Callers loop up to the count: a damaged header must not make them read
// billions of records, nor a negative count anything at all.
TEST_F(FichierArticles, NombreBorneParLeFichier) {
  ecrit_articles(3, 2000000000);
  Caisse caisse(base_);
  std::int32_t n = -1;
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 3);
  ecrit_articles(3, -5);
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 0);
  ecrit_articles(5, 2);  // fewer counted than held: the header holds
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 2);
}

TEST_F(FichierArticles, FichierAbsentCreeVideAvecSonCompagnon) {
  Caisse caisse(base_);
  std::int32_t n = -1;
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(std::filesystem::exists(fichier_));
  EXPECT_TRUE(std::filesystem::exists(dossier_.chemin() / "w_caur44.wdo"));
  EXPECT_FALSE(caisse.fichier_principal_present());
  EnregistrementArticle a = motif<EnregistrementArticle>();
  EXPECT_FALSE(caisse.lit_article(1, a));
  EXPECT_EQ(a.octets, EnregistrementArticle::vierge().octets);
}

// A file cut in the middle of a record: whole records only, the rest blank.
TEST_F(FichierArticles, FichierTronque) {
  ecrit_articles(3, 4);
  std::string octets = lit_octets(fichier_);
  octets += std::string(100, 'x');  // part of a fourth article
  ecrit_octets(fichier_, octets);
  Caisse caisse(base_);
  std::int32_t n = -1;
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 3);
  EnregistrementArticle a;
  EXPECT_TRUE(caisse.lit_article(3, a));
  EXPECT_FALSE(caisse.lit_article(4, a));
  EXPECT_EQ(a.code(), std::string(15, ' '));
  EXPECT_FALSE(caisse.lit_article(-1, a));
  EXPECT_FALSE(caisse.lit_article(INT32_MAX, a));

  ecrit_octets(fichier_, std::string(100, '\x7F'));  // not even a header
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 0);
}

// Writing an article back changes only the bytes set, on disk too; and
// Pontex never creates an article or touches the header.
TEST_F(FichierArticles, EcritureDUnArticleSurLeDisque) {
  ecrit_articles(3, 3);
  const std::string avant = lit_octets(fichier_);
  Caisse caisse(base_);
  std::int32_t n = 0;
  ASSERT_TRUE(caisse.ouvre_articles(n));
  EnregistrementArticle a;
  ASSERT_TRUE(caisse.lit_article(2, a));
  a.met_stock(99.0f);
  ASSERT_TRUE(caisse.ecrit_article(2, a));
  const std::string apres = lit_octets(fichier_);
  ASSERT_EQ(apres.size(), avant.size());
  for (std::size_t i = 0; i < avant.size(); ++i) {
    if (i >= 2 * 256 + 71 && i < 2 * 256 + 75) continue;
    ASSERT_EQ(apres[i], avant[i]) << "byte " << i;
  }
  EXPECT_EQ(apres.substr(2 * 256 + 71, 4), std::string("\x00\x00\xC6\x42", 4));

  EXPECT_FALSE(caisse.ecrit_article(4, a));
  EXPECT_FALSE(caisse.ecrit_article(0, a));
  EXPECT_FALSE(caisse.ecrit_article(-1, a));
  EXPECT_EQ(lit_octets(fichier_), apres);

  caisse.ferme_articles();
  EXPECT_FALSE(caisse.lit_article(1, a));
  EXPECT_FALSE(caisse.ecrit_article(1, a));
}

TEST_F(FichierArticles, EchecDeLectureDeLEnTete) {
  ecrit_articles(3, 3);
  Caisse caisse(base_);
  test::EchecInjecte echec([](Operation op, std::string_view chemin) {
    return op == Operation::lecture && chemin.ends_with("w_caiar4.wdo");
  });
  std::int32_t n = -1;
  EXPECT_FALSE(caisse.ouvre_articles(n));
  EXPECT_EQ(n, 0);
}

}  // namespace
}  // namespace pontex

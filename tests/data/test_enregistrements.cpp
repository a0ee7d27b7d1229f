// Records byte for byte; the article and movement files, counts and damaged headers.

#include <gtest/gtest.h>

#include <array>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include "pontex/data/caisse.h"
#include "pontex/data/enregistrements.h"
#include "pontex/data/valeurs.h"
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

// A movement's fields land at their offsets; every other byte stays as the till wrote it.
TEST(Article, ChampsAuxBonsOffsetsEtRienDAutre) {
  const EnregistrementArticle avant = motif<EnregistrementArticle>();
  EnregistrementArticle a = avant;
  // Extension positions 85..99, 100 and 101 are bytes 197..211, 212, 213.
  EXPECT_EQ(a.reference_alternative(), octets_de(a.octets.data(), 197, 15));
  EXPECT_EQ(a.marque_exclusion(), static_cast<char>(a.octets[212]));
  EXPECT_EQ(a.marque_echange(), static_cast<char>(a.octets[213]));
  EXPECT_EQ(a.valeur()[0], a.octets[55]);
  EXPECT_EQ(a.valeur()[7], a.octets[62]);
  a.met_stock(12.5f);      // 0x41480000
  a.met_quantite2(-3.0f);  // 0xC0400000
  a.met_date_mouvement("05-12-2026");
  const std::uint8_t* o = a.octets.data();
  EXPECT_EQ(octets_de(o, 71, 4), std::string("\x00\x00\x48\x41", 4));
  EXPECT_EQ(octets_de(o, 79, 4), std::string("\x00\x00\x40\xC0", 4));
  EXPECT_EQ(octets_de(o, 93, 10), "05-12-2026");
  for (std::size_t i = 0; i < 256; ++i) {
    const bool change = (i >= 71 && i < 75) || (i >= 79 && i < 83) || (i >= 93 && i < 103);
    if (!change) {
      ASSERT_EQ(a.octets[i], avant.octets[i]) << "byte " << i;
    }
  }
  a.met_code("3017620422003");
  a.met_designation("P\302T\311 DE CAMPAGNE");
  a.met_nombre_articles(0x01020304);
  EXPECT_EQ(octets_de(o, 0, 15), "3017620422003  ");
  EXPECT_EQ(octets_de(o, 15, 40), "P\302T\311 DE CAMPAGNE" + std::string(24, ' '));
  EXPECT_EQ(octets_de(o, 105, 4), std::string("\x04\x03\x02\x01", 4));
}

// Text cut or padded to its field; a blank record: spaces in text fields, 0 elsewhere.
TEST(Article, TexteCoupeOuCompleteEtArticleVierge) {
  EnregistrementArticle a = motif<EnregistrementArticle>();
  const std::uint8_t apres_code = a.octets[15];
  a.met_code("12345678901234567890");
  EXPECT_EQ(a.code(), "123456789012345");
  EXPECT_EQ(a.octets[15], apres_code);
  a.met_code("AB");
  EXPECT_EQ(a.code(), "AB" + std::string(13, ' '));
  const EnregistrementArticle v = EnregistrementArticle::vierge();
  for (std::size_t i = 0; i < 256; ++i) {
    const bool texte = i < 55 || (i >= 83 && i < 105) || (i >= 113 && i < 214);
    ASSERT_EQ(v.octets[i], texte ? ' ' : 0) << "byte " << i;
  }
}

// Blank records are handed out as copies: what one caller writes into its
// own never shows in the next one's.
TEST(Article, UnArticleViergeModifieNeChangePasLeSuivant) {
  EnregistrementArticle a = EnregistrementArticle::vierge();
  a.met_code("3017620422003");
  a.met_stock(12.5f);
  EntreeIndex e = EntreeIndex::vierge();
  e.met_cle("ABC");
  e.met_numero(9);
  EnregistrementMouvement m = EnregistrementMouvement::vierge();
  m.met_code("XYZ");
  EXPECT_EQ(EnregistrementArticle::vierge().code(), std::string(15, ' '));
  EXPECT_EQ(EnregistrementArticle::vierge().stock(), 0.0f);
  EXPECT_EQ(EntreeIndex::vierge().cle(), std::string(16, ' '));
  EXPECT_EQ(EntreeIndex::vierge().numero(), 0);
  EXPECT_EQ(EnregistrementMouvement::vierge().code().find_first_not_of(' '), std::string::npos);
}

// Integer fields of every width, at offsets that are not word-aligned:
// little-endian, and not a byte outside the field touched. The word digest
// is kept in the progress record and the group notes: its value is that
// of the words read byte by byte.
TEST(Octets, EntiersDeToutesLargeursEtEmpreinteDesMots) {
  for (const std::size_t largeur : {1u, 2u, 3u, 4u, 5u, 8u}) {
    for (const std::size_t offset : {0u, 1u, 3u, 7u}) {
      std::array<std::uint8_t, 24> o;
      o.fill(0xAA);
      const Champ c{offset, largeur, Sorte::entier};
      octets::ecrit_entier(o.data(), c, 0x0807060504030201ULL);
      for (std::size_t i = 0; i < o.size(); ++i) {
        const bool dedans = i >= offset && i < offset + largeur;
        ASSERT_EQ(std::size_t{o[i]}, dedans ? i - offset + 1 : std::size_t{0xAA})
            << largeur << " at " << offset << ": " << i;
      }
      const std::uint64_t attendu = largeur == 8
                                        ? 0x0807060504030201ULL
                                        : 0x0807060504030201ULL & ((1ULL << (8 * largeur)) - 1);
      EXPECT_EQ(octets::lit_entier(o.data(), c), attendu) << largeur << " at " << offset;
    }
  }
  std::array<std::uint8_t, 40> o;
  for (std::size_t i = 0; i < o.size(); ++i) o[i] = static_cast<std::uint8_t>(i * 37 + 11);
  for (const std::size_t debut : {0u, 8u, 3u}) {
    std::uint64_t attendu = 14695981039346656037ULL;
    for (std::size_t i = debut; i + 8 <= o.size(); i += 8) {
      std::uint64_t mot = 0;
      for (std::size_t k = 8; k-- > 0;) mot = (mot << 8) | o[i + k];
      attendu ^= mot;
      attendu *= 1099511628211ULL;
      attendu ^= attendu >> 32;
    }
    EXPECT_EQ(empreinte_mots(o.data(), debut, o.size()), attendu) << debut;
  }
}

TEST(EntreeIndex, ChampsAuxBonsOffsets) {
  EntreeIndex e = EntreeIndex::vierge();
  e.met_cle("A12345678901234567");
  e.met_numero(-2);
  e.met_tries(0x7FFFFFFF);
  const std::uint8_t* o = e.octets.data();
  EXPECT_EQ(octets_de(o, 0, 16), "A123456789012345");
  EXPECT_EQ(octets_de(o, 16, 4), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(octets_de(o, 20, 4), std::string("\xFF\xFF\xFF\x7F", 4));
  EXPECT_EQ(e.numero(), -2);
  EXPECT_EQ(e.tries(), 0x7FFFFFFF);
}

TEST(Mouvement, ChampsAuxBonsOffsets) {
  EnregistrementMouvement m = motif<EnregistrementMouvement>();
  m.met_date("05-12-2026");
  m.met_heure("21:07");
  m.met_code("3017620422003");
  m.met_reserve("");
  m.met_quantite(-2.5f);  // 0xC0200000
  m.met_valeur({1, 2, 3, 4, 5, 6, 7, 8});
  m.met_poste(70000);  // 0x00011170
  m.met_utilisateur(-2);
  m.met_origine("-Serv:vpc-");
  EXPECT_EQ(octets_de(m.octets.data(), 0, 64),
            std::string("05-12-202621:073017620422003        \x00\x00\x20\xC0"
                        "\x01\x02\x03\x04\x05\x06\x07\x08\x70\x11\x01\x00\xFE\xFF-Serv:vpc-",
                        64));
  EXPECT_EQ(m.utilisateur(), -2);
  EXPECT_EQ(m.quantite(), -2.5f);
}

// --- The article file ------------------------------------------------------------

class FichierArticles : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::string base_ = dossier_.valeur_dossier();
  std::filesystem::path fichier_ = dossier_.chemin() / "w_caiar4.wdo";
  Caisse caisse_{base_};

  void ecrit_articles(int nombre, std::int32_t entete) {
    std::vector<EnregistrementArticle> articles;
    for (int k = 1; k <= nombre; ++k) {
      fabrique::DescriptionArticle d;
      d.code = "C" + std::to_string(k);
      d.stock = static_cast<float>(k);
      articles.push_back(fabrique::fabrique_article(d));
    }
    ASSERT_TRUE(fabrique::ecrit_articles(base_, articles, entete));
  }
  // Opens the article file (it stays open) and gives the count.
  std::int32_t compte() {
    std::int32_t n = -1;
    EXPECT_TRUE(caisse_.ouvre_articles(n));
    return n;
  }
};

// More than 32,767 articles: the register is not taken for an empty one.
TEST_F(FichierArticles, NombreSur32Bits) {
  ecrit_articles(40000, 40000);
  EXPECT_EQ(compte(), 40000);
  EnregistrementArticle a;
  ASSERT_TRUE(caisse_.lit_article(40000, a));
  EXPECT_EQ(a.stock(), 40000.0f);
  caisse_.ferme_articles();
  // The configuration loader keeps the same count for the main window.
  ecrit_octets(dossier_.chemin() / "Pontex.wdo", "#FICBASE#" + base_ + "\r\n");
  HorlogeSysteme h;
  ValeursProgramme v(h);
  charge_parametres(v);
  EXPECT_EQ(v.nombre_articles, 40000);
  EXPECT_FALSE(v.caisse.articles_ouverts());
}

// The count is bounded by the file: never billions of reads, nothing for a negative one.
TEST_F(FichierArticles, NombreBorneParLeFichier) {
  ecrit_articles(3, 2000000000);
  EXPECT_EQ(compte(), 3);
  caisse_.ferme_articles();
  ecrit_articles(3, -5);
  EXPECT_EQ(compte(), 0);
  caisse_.ferme_articles();
  ecrit_articles(5, 2);  // fewer counted than held: the header holds
  EXPECT_EQ(compte(), 2);
}

// A wrong folder: no register file is ever created there, the count is 0.
TEST_F(FichierArticles, FichierOuCompagnonAbsentNeCreeRien) {
  std::int32_t n = -1;
  EXPECT_FALSE(caisse_.ouvre_articles(n));
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(std::filesystem::exists(fichier_));
  EXPECT_FALSE(std::filesystem::exists(dossier_.chemin() / "w_caur44.wdo"));
  EXPECT_FALSE(caisse_.fichier_principal_present());
  // Articles without their companion file: not a whole register either.
  ecrit_articles(3, 3);
  std::filesystem::remove(dossier_.chemin() / "w_caur44.wdo");
  EXPECT_FALSE(caisse_.ouvre_articles(n));
  EXPECT_EQ(n, 0);
  EXPECT_FALSE(caisse_.articles_ouverts());
  EXPECT_FALSE(std::filesystem::exists(dossier_.chemin() / "w_caur44.wdo"));
  EnregistrementArticle a = motif<EnregistrementArticle>();
  EXPECT_FALSE(caisse_.lit_article(1, a));
  EXPECT_EQ(a.octets, EnregistrementArticle::vierge().octets);
}

// A file cut in the middle of a record: whole records only, the rest blank.
TEST_F(FichierArticles, FichierTronqueOuIllisible) {
  ecrit_articles(3, 4);
  ecrit_octets(fichier_, lit_octets(fichier_) + std::string(100, 'x'));  // part of a 4th
  EXPECT_EQ(compte(), 3);
  EnregistrementArticle a;
  EXPECT_TRUE(caisse_.lit_article(3, a));
  EXPECT_FALSE(caisse_.lit_article(4, a));
  EXPECT_EQ(a.code(), std::string(15, ' '));
  EXPECT_FALSE(caisse_.lit_article(-1, a));
  EXPECT_FALSE(caisse_.lit_article(INT32_MAX, a));
  caisse_.ferme_articles();
  ecrit_octets(fichier_, std::string(100, '\x7F'));  // not even a header
  EXPECT_EQ(compte(), 0);
  caisse_.ferme_articles();
  ecrit_articles(3, 3);
  test::EchecInjecte echec([](Operation op, std::string_view chemin) {
    return op == Operation::lecture && chemin.ends_with("w_caiar4.wdo");
  });
  std::int32_t n = -1;
  EXPECT_FALSE(caisse_.ouvre_articles(n));
  EXPECT_EQ(n, 0);
}

// --- The movement file ------------------------------------------------------------

class Mouvements : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::string base_ = dossier_.valeur_dossier();
  std::filesystem::path fichier_ = dossier_.chemin() / "W_CAIREC.WDO";
  Caisse caisse_{base_};

  static EnregistrementMouvement mouvement(const std::string& code) {
    EnregistrementMouvement m = EnregistrementMouvement::vierge();
    m.met_date("05-12-2026");
    m.met_heure("21:07");
    m.met_code(code);
    m.met_quantite(2.0f);
    m.met_origine("-Serv:vpc-");
    return m;
  }
};

std::string octets_de(const EnregistrementMouvement& m) {
  return std::string(reinterpret_cast<const char*>(m.octets.data()), 64);
}

// The header's count rules, not the file's length (the till may have written beyond).
TEST_F(Mouvements, LeCompteDeLEnTeteDecideDeLaPlace) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 3));
  std::string octets = lit_octets(fichier_) + std::string(3 * 64, 'm');
  ecrit_octets(fichier_, octets);
  std::int32_t numero = 0;
  ASSERT_TRUE(caisse_.ajoute_mouvement(mouvement("X"), &numero));
  EXPECT_EQ(numero, 4);
  const std::string apres = lit_octets(fichier_);
  ASSERT_EQ(apres.size(), 5u * 64);
  EXPECT_EQ(apres.substr(64, 3 * 64), std::string(3 * 64, 'm'));
  EXPECT_EQ(apres.substr(4 * 64 + 15, 1), "X");
}

// A missing movement file is not created; an empty one gets a header, then record 2.
TEST_F(Mouvements, FichierAbsentOuVide) {
  std::int32_t numero = 0;
  EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("A"), &numero));
  EXPECT_FALSE(std::filesystem::exists(fichier_));
  ecrit_octets(fichier_, "");
  ASSERT_TRUE(caisse_.ajoute_mouvement(mouvement("A"), &numero));
  EXPECT_EQ(numero, 1);
  // The new header is a blank record holding the count.
  EnregistrementMouvement entete = EnregistrementMouvement::vierge();
  entete.met_poste(1);
  EXPECT_EQ(lit_octets(fichier_), octets_de(entete) + octets_de(mouvement("A")));
}

// A damaged or unreadable header: nothing is written, the failure is reported.
TEST_F(Mouvements, EnTeteEndommageRefuse) {
  for (std::int32_t m : {-1, INT32_MIN, INT32_MAX, 1000000}) {
    ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, m));
    const std::string avant = lit_octets(fichier_);
    std::int32_t numero = -7;
    EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X"), &numero)) << "M = " << m;
    EXPECT_EQ(numero, -7);
    EXPECT_EQ(lit_octets(fichier_), avant) << "M = " << m;
  }
  test::EchecInjecte echec([](Operation op, std::string_view) { return op == Operation::lecture; });
  const std::string avant = lit_octets(fichier_);
  EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X")));
  EXPECT_EQ(lit_octets(fichier_), avant);
}

// Sixteen records of slack past the end, for a till half-way through its own appends; one more
// is a damaged count. Measured from the file's end, whatever it holds.
TEST_F(Mouvements, CompteAuPlusSeizeRecordsApresLaFin) {
  for (int tenus : {0, 3})
    for (int ecart : {16, 17}) {
      ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, tenus + ecart));
      ecrit_octets(fichier_, lit_octets(fichier_) + std::string(tenus * 64, 'm'));
      std::int32_t numero = 0;
      EXPECT_EQ(static_cast<bool>(caisse_.ajoute_mouvement(mouvement("X"), &numero)), ecart == 16)
          << tenus << " held, count " << ecart << " past them";
      EXPECT_EQ(numero, ecart == 16 ? tenus + 17 : 0);
    }
}

// The till appends twenty movements between our opening of the file and our read of its count:
// the count is far past the size seen at the opening, but not past the file's end now.
TEST_F(Mouvements, LaCaisseAjouteEntreLOuvertureEtLaLectureDuCompte) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 0));
  bool fait = false;
  test::EchecInjecte caisse([&](Operation op, std::string_view chemin) {
    if (op == Operation::lecture && chemin.ends_with("W_CAIREC.WDO") &&
        !std::exchange(fait, true)) {
      EnregistrementMouvement entete = EnregistrementMouvement::vierge();
      entete.met_poste(20);
      ecrit_octets(fichier_, octets_de(entete) + std::string(20 * 64, 't'));
    }
    return false;
  });
  std::int32_t numero = 0;
  EXPECT_TRUE(caisse_.ajoute_mouvement(mouvement("X"), &numero));
  EXPECT_EQ(numero, 21);
}

// Records the till left beyond its count, there before we read it: the count rules, the first of
// them is written over and the others stay as they were, uncounted.
TEST_F(Mouvements, RecordsLaissesApresLeCompteRecouverts) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 2));
  const std::string avant =
      lit_octets(fichier_) + std::string(2 * 64, 'm') + std::string(3 * 64, 'r');
  ecrit_octets(fichier_, avant);
  std::int32_t numero = 0;
  ASSERT_TRUE(caisse_.ajoute_mouvement(mouvement("X"), &numero));
  EXPECT_EQ(numero, 3);
  const std::string apres = lit_octets(fichier_);
  ASSERT_EQ(apres.size(), avant.size());
  EXPECT_EQ(apres.substr(64, 2 * 64), std::string(2 * 64, 'm'));
  EXPECT_EQ(apres.substr(3 * 64, 64), octets_de(mouvement("X")));
  EXPECT_EQ(apres.substr(4 * 64), std::string(2 * 64, 'r'));
}

// Something else than a file under the movement file's name: refused, nothing written. A device
// reads as anything, without end: its reads never show where a file ends, and its type is asked.
TEST_F(Mouvements, AutreChoseQuUnFichierRefuse) {
  std::filesystem::create_directory(fichier_);
  EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X")));
  EXPECT_TRUE(std::filesystem::is_empty(fichier_));
  std::filesystem::remove(fichier_);
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(fichier_.c_str(), 0644), 0);
  EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X")));  // at once, not waiting for a writer
  std::filesystem::remove(fichier_);
  for (const char* appareil : {"/dev/zero", "/dev/null"}) {
    std::filesystem::create_symlink(appareil, fichier_);
    std::int32_t numero = 0;
    EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X"), &numero)) << appareil;
    EXPECT_EQ(numero, 0);
    EXPECT_EQ(caisse_.mouvements_a_verifier(), 0u);
    std::filesystem::remove(fichier_);
  }
#endif
}

// A record that cannot be written must not stay counted in the header.
TEST_F(Mouvements, EcritureRefuseeRemetLEnTete) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 0));
  const std::string avant = lit_octets(fichier_);
  int ecritures = 0;
  test::EchecInjecte echec([&](Operation op, std::string_view) {
    return op == Operation::ecriture && ++ecritures == 2;  // the movement record
  });
  EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X")));
  EXPECT_EQ(lit_octets(fichier_), avant);
}

}  // namespace
}  // namespace pontex

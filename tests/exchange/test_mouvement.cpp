// Recording one movement: the article's bytes and the cash register's
// movement record, checked at their offsets.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/mouvement.h"
#include "tests/exchange/boutique.h"

namespace pontex::test {
namespace {

class Mouvement : public ::testing::Test {
 protected:
  Mouvement() { b.ecrit_caisse(articles_boutique()); }

  // As the analysis hands a matched record over.
  void applique(std::int32_t k, double quantite) {
    std::int32_t n = 0;
    ASSERT_TRUE(b.valeurs.caisse.ouvre_articles(n).ok());
    b.valeurs.caisse.lit_article(k, b.valeurs.article);
    b.valeurs.numero_article = k;
    b.valeurs.quantite = quantite;
    ecrit_mouvement(b.valeurs, b.fenetre);
    b.valeurs.caisse.ferme_articles();
  }

  // The original record with only the stock, the second quantity and the
  // last movement date replaced.
  std::array<std::uint8_t, 256> article_attendu(std::int32_t k, float stock, float seconde) {
    auto o = b.originaux[static_cast<std::size_t>(k - 1)].octets;
    const auto s = octets_f32(stock);
    const auto q = octets_f32(seconde);
    std::copy(s.begin(), s.end(), o.begin() + 71);
    std::copy(q.begin(), q.end(), o.begin() + 79);
    const std::string date = "05-12-2026";
    std::copy(date.begin(), date.end(), o.begin() + 93);
    return o;
  }

  Boutique b;
};

TEST_F(Mouvement, ChangesOnlyStockSecondQuantityAndDate) {
  applique(1, -3);
  EXPECT_EQ(b.article(1).octets, article_attendu(1, 7.0f, 8.0f));
  for (std::int32_t k = 2; k <= 6; ++k) EXPECT_EQ(b.article(k).octets, b.originaux[k - 1].octets);
  EXPECT_EQ(b.fenetre.journal,
            (std::vector<std::string>{"-3.00 x " + designation_40("PAIN DE CAMPAGNE")}));
}

TEST_F(Mouvement, RecordsEveryFieldAtItsOffset) {
  const auto entete_avant = b.mouvement(0).octets;
  applique(1, 2);
  applique(2, 2.5);
  EXPECT_EQ(b.mouvement(1).octets, mouvement_attendu("1000000000001", 2.0f, 12345, 7, 3));
  EXPECT_EQ(b.mouvement(2).octets, mouvement_attendu("1000000000002", 2.5f, -7, 7, 3));
  // The header holds the count and nothing else of it changes.
  auto entete = b.mouvement(0).octets;
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  std::fill(entete.begin() + 48, entete.begin() + 52, 0);
  auto avant = entete_avant;
  std::fill(avant.begin() + 48, avant.begin() + 52, 0);
  EXPECT_EQ(entete, avant);
}

TEST_F(Mouvement, DecimalsSurviveACommaSeparator) {
  Boutique virgule(',');
  virgule.ecrit_caisse(articles_boutique());
  std::int32_t n = 0;
  ASSERT_TRUE(virgule.valeurs.caisse.ouvre_articles(n).ok());
  virgule.valeurs.numero_article = 2;
  virgule.valeurs.quantite = -2.5;
  ecrit_mouvement(virgule.valeurs, virgule.fenetre);
  virgule.valeurs.caisse.ferme_articles();
  EXPECT_EQ(virgule.mouvement(1).quantite(), -2.5f);
  EXPECT_EQ(virgule.article(2).stock(), 0.0f);
  EXPECT_EQ(virgule.fenetre.journal.at(0), "-2,50 x " + designation_40("CAF\xC9 EN GRAINS"));
}

TEST_F(Mouvement, QuantityZeroStillDatesAndRecords) {
  applique(3, 0);
  EXPECT_EQ(b.article(3).octets, article_attendu(3, -2.0f, 0.0f));
  EXPECT_EQ(b.mouvement(0).poste(), 1);
  EXPECT_EQ(b.fenetre.journal.at(0), "0.00 x " + designation_40("SUCRE"));
}

TEST_F(Mouvement, WorkstationAndUserNumbersRoundHalvesToEven) {
  struct Cas {
    const char* poste;
    const char* utilisateur;
    std::int32_t p;
    std::int16_t u;
  };
  const Cas cas[] = {
      {"2.5", "3.5", 2, 4},           {"-2.5", "abc", -2, 0},
      {"2147483648", "32768", 0, 0},  // too large for the field
      {"1e400", "-32768", 0, -32768}, {"&H10", " 12 ", 16, 12},
  };
  for (const Cas& c : cas) {
    b.valeurs.config.numpost = c.poste;
    b.valeurs.config.utilisa = c.utilisateur;
    EXPECT_EQ(numero_poste(b.valeurs), c.p) << c.poste;
    EXPECT_EQ(numero_utilisateur(b.valeurs), c.u) << c.utilisateur;
  }
  applique(1, 1);
  EXPECT_EQ(b.mouvement(1).poste(), 16);
  EXPECT_EQ(b.mouvement(1).utilisateur(), 12);
}

TEST_F(Mouvement, AStockBeyondASingleIsNeverStoredAsInfinity) {
  auto articles = articles_boutique();
  articles[0].stock = 3.0e38f;
  articles[0].quantite2 = -3.0e38f;
  b.ecrit_caisse(articles);
  applique(1, 1.0e38);
  const EnregistrementArticle a = b.article(1);
  EXPECT_EQ(a.stock(), 3.0e38f);
  EXPECT_EQ(a.quantite2(), -3.0e38f);
  EXPECT_EQ(a.date_mouvement(), "05-12-2026");
  EXPECT_EQ(b.mouvement(1).quantite(), 1.0e38f);

  // A quantity no Single can hold changes nothing and records nothing.
  b.valeurs.numero_article = 2;
  b.valeurs.quantite = 1e300;
  std::int32_t n = 0;
  ASSERT_TRUE(b.valeurs.caisse.ouvre_articles(n).ok());
  EXPECT_FALSE(applique_mouvement(b.valeurs, b.fenetre).ok());
  b.valeurs.caisse.ferme_articles();
  EXPECT_EQ(b.article(2).octets, b.originaux[1].octets);
  EXPECT_EQ(b.mouvement(0).poste(), 1);
}

TEST_F(Mouvement, AnArticleThatCannotBeWrittenIsNotRecorded) {
  const EchecInjecte echec([](Operation op, std::string_view chemin) {
    return op == Operation::ecriture && chemin.ends_with("w_caiar4.wdo");
  });
  std::int32_t n = 0;
  ASSERT_TRUE(b.valeurs.caisse.ouvre_articles(n).ok());
  b.valeurs.numero_article = 1;
  b.valeurs.quantite = 2;
  EXPECT_FALSE(applique_mouvement(b.valeurs, b.fenetre).ok());
  b.valeurs.caisse.ferme_articles();
  EXPECT_EQ(b.article(1).octets, b.originaux[0].octets);
  EXPECT_EQ(b.mouvement(0).poste(), 0);
  EXPECT_TRUE(b.fenetre.journal.empty());
}

TEST_F(Mouvement, ADamagedMovementHeaderKeepsTheStockAndSaysSo) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(b.dossier_caisse(), 1'000'000).ok());
  const std::string avant = lit_octets(b.caisse() / "W_CAIREC.WDO");
  applique(1, 2);
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO"), avant);
  EXPECT_EQ(b.fenetre.journal,
            (std::vector<std::string>{"2.00 x " + designation_40("PAIN DE CAMPAGNE"),
                                      "Mouvement non enregistr\xE9 : 1000000000001"}));
}

}  // namespace
}  // namespace pontex::test

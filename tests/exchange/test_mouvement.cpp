// Movement recording beyond what the cycle tests check byte by byte: the
// numbers stamped on every movement, and the limits of the register's
// single-precision fields.

#include <gtest/gtest.h>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/mouvement.h"
#include "tests/exchange/boutique.h"

namespace pontex::test {
namespace {

TEST(NumerosMouvement, RoundedHalvesToEvenAndZeroWhenTooLargeForTheField) {
  Boutique b;
  struct Cas {
    const char* texte;
    std::int32_t poste;
    std::int16_t utilisateur;
  };
  const Cas cas[] = {
      {"2.5", 2, 2},    {"3.5", 4, 4},       {"-2.5", -2, -2},           {"abc", 0, 0},
      {"&H10", 16, 16}, {"32768", 32768, 0}, {"-32768", -32768, -32768}, {"2147483648", 0, 0},
      {"1e400", 0, 0}};
  for (const Cas& c : cas) {
    b.valeurs.config.numpost = c.texte;
    b.valeurs.config.utilisa = c.texte;
    EXPECT_EQ(numero_poste(b.valeurs), c.poste) << c.texte;
    EXPECT_EQ(numero_utilisateur(b.valeurs), c.utilisateur) << c.texte;
  }
}

class Mouvement : public ::testing::Test {
 protected:
  Mouvement() { b.ecrit_caisse(articles_boutique()); }
  Resultat applique(std::int32_t k, double quantite) {
    std::int32_t n = 0;
    EXPECT_TRUE(b.valeurs.caisse.ouvre_articles(n).ok());
    b.valeurs.numero_article = k;
    b.valeurs.quantite = quantite;
    Resultat r = applique_mouvement(b.valeurs, b.fenetre);
    b.valeurs.caisse.ferme_articles();
    return r;
  }
  Boutique b;
};

TEST_F(Mouvement, AStockBeyondASingleIsNeverStoredAsInfinity) {
  auto articles = articles_boutique();
  articles[0].stock = 3.0e38f;
  articles[0].quantite2 = -3.0e38f;
  b.ecrit_caisse(articles);
  EXPECT_TRUE(applique(1, 1.0e38).ok());
  const EnregistrementArticle a = b.article(1);
  EXPECT_EQ(a.stock(), 3.0e38f);
  EXPECT_EQ(a.quantite2(), -3.0e38f);
  EXPECT_EQ(a.date_mouvement(), "05-12-2026");
  EXPECT_EQ(b.mouvement(1).quantite(), 1.0e38f);

  // A quantity no Single holds changes nothing and records nothing.
  EXPECT_FALSE(applique(2, 1e300).ok());
  EXPECT_EQ(b.article(2).octets, b.originaux[1].octets);
  EXPECT_EQ(b.mouvement(0).poste(), 1);
}

TEST_F(Mouvement, ADamagedMovementHeaderKeepsTheStockAndSaysSo) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(b.dossier_caisse(), 1'000'000).ok());
  const std::string avant = lit_octets(b.caisse() / "W_CAIREC.WDO");
  EXPECT_TRUE(applique(1, 2).ok());
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO"), avant);
  EXPECT_EQ(b.fenetre.journal,
            (std::vector<std::string>{"2.00 x " + designation_40("PAIN DE CAMPAGNE"),
                                      "Mouvement non enregistr\xE9 : 1000000000001"}));
}

}  // namespace
}  // namespace pontex::test

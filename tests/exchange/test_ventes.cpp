// The hidden test button's random sales: the same five lines at every run of
// the program, only drawable articles, and never a hang.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "pontex/exchange/echange.h"
#include "tests/exchange/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

const std::string nom_ventes = "ventes_20261205210709.txt";

Lignes lignes(const std::string& texte) {
  Lignes r;
  std::size_t debut = 0;
  for (std::size_t fin; (fin = texte.find("\r\n", debut)) != std::string::npos; debut = fin + 2)
    r.push_back(texte.substr(debut, fin - debut));
  EXPECT_EQ(debut, texte.size()) << "every line ends with CR LF";
  return r;
}

std::string ventes(Boutique& b) {
  genere_ventes(b.valeurs, b.fenetre);
  return lit_octets(b.import() / nom_ventes);
}

TEST(Ventes, FiveDrawableLinesTheSameAtEveryRun) {
  Boutique premier;
  premier.ecrit_caisse(articles_boutique());
  const std::string texte = ventes(premier);
  const Lignes l = lignes(texte);
  ASSERT_EQ(l.size(), 5u);
  for (const std::string& ligne : l) {
    EXPECT_TRUE(ligne == "BOU-001\t1.00\t" || ligne == "BOU-001\t2.00\t" ||
                ligne == "EPI-002\t1.00\t" || ligne == "EPI-002\t2.00\t")
        << ligne;
  }
  EXPECT_EQ(premier.fenetre.journal, (Lignes{"Ventes g\xE9n\xE9r\xE9"
                                             "es"}));
  EXPECT_EQ(premier.fenetre.File1.noms(), (Lignes{nom_ventes}));

  // A new run of the program (fresh program-wide values), in reference
  // mode 0: the same lines, still with alternative references.
  Boutique second;
  second.ecrit_caisse(articles_boutique());
  second.valeurs.config.refarti = 0;
  EXPECT_EQ(ventes(second), texte);
}

TEST(Ventes, TheOnlyDrawableArticleFillsAllLines) {
  Boutique b(',');
  auto articles = articles_boutique();
  articles[1].marque_exclusion = '1';
  b.ecrit_caisse(articles);
  for (const std::string& ligne : lignes(ventes(b)))
    EXPECT_TRUE(ligne == "BOU-001\t1,00\t" || ligne == "BOU-001\t2,00\t") << ligne;
}

TEST(Ventes, NoDrawableArticleWritesNoFileAndSaysSo) {
  Boutique b;
  auto articles = articles_boutique();
  articles[0].marque_echange = ' ';
  articles[1].reference_alternative = "";
  b.ecrit_caisse(articles);
  genere_ventes(b.valeurs, b.fenetre);
  const Lignes attendu{"Aucun article ne peut \xEAtre tir\xE9 : pas de fichier de ventes",
                       "Ventes g\xE9n\xE9r\xE9"
                       "es"};
  EXPECT_EQ(b.fenetre.journal, attendu);
  EXPECT_EQ(Boutique::fichiers(b.import()), Lignes{});

  ASSERT_TRUE(fabrique::ecrit_articles(b.dossier_caisse(), {}).ok());
  b.fenetre.journal.clear();
  genere_ventes(b.valeurs, b.fenetre);
  EXPECT_EQ(b.fenetre.journal, attendu);
  EXPECT_EQ(Boutique::fichiers(b.import()), Lignes{});
}

TEST(Ventes, GeneratedSalesAreAppliedByTheNextCycle) {
  Boutique b;
  b.ecrit_caisse(articles_boutique());
  const Lignes l = lignes(ventes(b));
  fs::last_write_time(b.import() / nom_ventes,
                      fs::file_time_type::clock::now() - std::chrono::minutes(1));
  double attendu1 = 10, attendu2 = 2.5;
  for (const std::string& ligne : l) {
    const double q = ligne[8] == '2' ? 2 : 1;
    (ligne.starts_with("BOU") ? attendu1 : attendu2) += q;
  }
  b.fenetre.journal.clear();
  traite_import(b.valeurs, b.fenetre);
  EXPECT_EQ(b.fenetre.journal.size(), 6u);
  EXPECT_EQ(b.mouvement(0).poste(), 5);
  EXPECT_EQ(b.article(1).stock(), static_cast<float>(attendu1));
  EXPECT_EQ(b.article(2).stock(), static_cast<float>(attendu2));
}

}  // namespace
}  // namespace pontex::test

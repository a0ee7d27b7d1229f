// Applying a working file: what is applied, what goes to the day's error
// file, and that nothing is lost or doubled whatever the server sends.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pontex/exchange/echange.h"
#include "tests/exchange/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

class Analyse : public ::testing::Test {
 protected:
  Analyse() { b.ecrit_caisse(articles_boutique()); }
  void applique(const std::string& contenu) {
    b.ecrit_analyse(contenu);
    applique_analyse(b.valeurs, b.fenetre);
  }
  std::string erreurs() const { return lit_octets(b.fichier_erreurs()); }
  bool analyse_presente() const { return fs::exists(b.dossier.chemin() / "prov_stk_ana_ron.txt"); }

  Boutique b;
};

TEST_F(Analyse, NoWorkingFileOrAnEmptyOne) {
  applique_analyse(b.valeurs, b.fenetre);
  applique("");
  EXPECT_TRUE(b.fenetre.journal.empty());
  EXPECT_FALSE(analyse_presente());
  EXPECT_FALSE(fs::exists(b.fichier_erreurs()));
}

TEST_F(Analyse, MatchesAndErrorsInFileOrder) {
  applique("BOU-001\t2\nINCONNU\t-1.5\nbou-001  \t-3\n1000000000002\t0.5\t\r\n\n");
  EXPECT_EQ(
      b.fenetre.journal,
      (Lignes{"2.00 x " + designation_40("PAIN DE CAMPAGNE"), "-1.50 x Erreur reference : INCONNU",
              "-3.00 x " + designation_40("PAIN DE CAMPAGNE"),
              "0.50 x " + designation_40("CAF\xC9 EN GRAINS"), "0.00 x Erreur reference : "}));
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU-1.5 \r\nErreur reference :  0 \r\n");
  EXPECT_EQ(b.article(1).stock(), 9.0f);
  EXPECT_EQ(b.article(1).quantite2(), 6.0f);
  EXPECT_EQ(b.article(2).stock(), 3.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 3);
  EXPECT_EQ(b.mouvement(3).code(), "1000000000002  ");
  EXPECT_FALSE(analyse_presente());
}

TEST_F(Analyse, TheSameReferenceThreeTimesAppliesThreeTimes) {
  applique("EPI-002\t1\nEPI-002\t1\nEPI-002\t1\n");
  EXPECT_EQ(b.fenetre.journal.size(), 3u);
  EXPECT_EQ(b.article(2).stock(), 5.5f);
  EXPECT_EQ(b.mouvement(0).poste(), 3);
  for (int m = 1; m <= 3; ++m) EXPECT_EQ(b.mouvement(m).quantite(), 1.0f);
}

TEST_F(Analyse, CommaSeparatorInErrorFileAndJournal) {
  Boutique v(',');
  v.ecrit_caisse(articles_boutique());
  v.ecrit_analyse("X\t-1.5\nY\t.5\nEPI-002\t2\t7\nEPI-002\t-2.5\n");
  applique_analyse(v.valeurs, v.fenetre);
  EXPECT_EQ(lit_octets(v.fichier_erreurs()),
            "Erreur reference : X-1,5 \r\nErreur reference : Y ,5 \r\n");
  EXPECT_EQ(v.fenetre.journal,
            (Lignes{"-1,50 x Erreur reference : X", "0,50 x Erreur reference : Y",
                    "27,00 x " + designation_40("CAF\xC9 EN GRAINS"),
                    "-2,50 x " + designation_40("CAF\xC9 EN GRAINS")}));
  // The movement keeps its decimals whatever the workstation's separator.
  EXPECT_EQ(v.mouvement(2).quantite(), -2.5f);
  EXPECT_EQ(v.article(2).stock(), 27.0f);
}

TEST_F(Analyse, ErrorsOfEachDayGoToThatDaysFile) {
  applique("X\t1\n");
  b.horloge.regle(DateHeure{2026, 12, 6, 0, 0, 1});
  applique("Y\t2\n");
  EXPECT_EQ(erreurs(), "Erreur reference : X 1 \r\n");
  EXPECT_EQ(lit_octets(b.fichier_erreurs("06-12-2026")), "Erreur reference : Y 2 \r\n");
}

TEST_F(Analyse, UnreadableQuantitiesAreReportedNotApplied) {
  applique("BOU-001\t1e400\nEPI-002\t 1e300\t\nBOU-001\t-\nBOU-001\t&HFFFF\n");
  EXPECT_EQ(erreurs(), "Erreur quantite : BOU-001 1e400 \r\nErreur quantite : EPI-002 1e300 \r\n");
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"1e400 x Erreur quantite : BOU-001", "1e300 x Erreur quantite : EPI-002",
                    "0.00 x " + designation_40("PAIN DE CAMPAGNE"),
                    "65535.00 x " + designation_40("PAIN DE CAMPAGNE")}));
  EXPECT_EQ(b.article(1).stock(), 65545.0f);
  EXPECT_EQ(b.article(2).octets, b.originaux[1].octets);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
}

// A matched record that cannot reach its article is not lost silently.
class AnalyseArticlesInaccessibles : public Analyse,
                                     public ::testing::WithParamInterface<Operation> {};

TEST_P(AnalyseArticlesInaccessibles, RecordsGoToTheErrorFile) {
  const Operation operation = GetParam();
  {
    const EchecInjecte echec([operation](Operation op, std::string_view chemin) {
      return op == operation && chemin.ends_with("w_caiar4.wdo");
    });
    applique("BOU-001\t2\nEPI-002\t-1\n");
  }
  EXPECT_EQ(erreurs(), "Erreur article : BOU-001 2 \r\nErreur article : EPI-002-1 \r\n");
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"2.00 x Erreur article : BOU-001", "-1.00 x Erreur article : EPI-002"}));
  EXPECT_EQ(b.article(1).octets, b.originaux[0].octets);
  EXPECT_EQ(b.mouvement(0).poste(), 0);
}

INSTANTIATE_TEST_SUITE_P(Operations, AnalyseArticlesInaccessibles,
                         ::testing::Values(Operation::ouverture, Operation::lecture,
                                           Operation::ecriture));

TEST_F(Analyse, AnIndexPointingPastTheArticlesWritesNothing) {
  ASSERT_TRUE(fabrique::ecrit_index(b.dossier_caisse(), {{"APERDU", 40}}, 1).ok());
  const std::string avant = lit_octets(b.caisse() / "w_caiar4.wdo");
  applique("PERDU\t1\n");
  EXPECT_EQ(lit_octets(b.caisse() / "w_caiar4.wdo"), avant);
  EXPECT_EQ(erreurs(), "Erreur article : PERDU 1 \r\n");
}

TEST_F(Analyse, ErrorFileThatCannotBeWrittenStillJournals) {
  const EchecInjecte echec(
      [](Operation, std::string_view chemin) { return chemin.ends_with(".err"); });
  applique("X\t1\n");
  EXPECT_EQ(b.fenetre.journal, (Lignes{"1.00 x Erreur reference : X"}));
  EXPECT_FALSE(fs::exists(b.fichier_erreurs()));
}

TEST_F(Analyse, GarbageNeverCorruptsTheRegister) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  garbage += std::string("\0\0\t\0\n", 5);
  garbage += std::string(200, 'R') + "\t1\n";
  garbage += "\t1\n";
  garbage += std::string(2 * 1024 * 1024, 'L') + "\t1\n";
  const std::string articles_avant = lit_octets(b.caisse() / "w_caiar4.wdo");
  const std::string index_avant = lit_octets(b.caisse() / "W_caiind.WDO");
  applique(garbage);
  EXPECT_EQ(lit_octets(b.caisse() / "w_caiar4.wdo"), articles_avant);
  EXPECT_EQ(lit_octets(b.caisse() / "W_caiind.WDO"), index_avant);
  EXPECT_EQ(b.mouvement(0).poste(), 0);
  EXPECT_FALSE(analyse_presente());
  // Every record is in the error file, the long ones whole.
  const std::string e = erreurs();
  EXPECT_NE(e.find("Erreur reference : " + std::string(200, 'R') + " 1 \r\n"), std::string::npos);
  EXPECT_NE(e.find("Erreur reference :  1 \r\n"), std::string::npos);
  EXPECT_NE(e.find(std::string(2 * 1024 * 1024, 'L') + " 1 \r\n"), std::string::npos);
  EXPECT_EQ(b.fenetre.journal.size(),
            static_cast<std::size_t>(std::count(e.begin(), e.end(), '\n')));
}

}  // namespace
}  // namespace pontex::test

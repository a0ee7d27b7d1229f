// The stock export the server collects: which articles, under which
// reference, with which figures, and that the server never collects a
// half-written file nor loses an export it has not taken yet.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/texte_mouvements.h"
#include "tests/exchange/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

const std::string nom_export = "stock_20261205210709.txt";

class Export : public ::testing::Test {
 protected:
  Export() { b.ecrit_caisse(articles_boutique()); }
  void exporte() {
    b.fenetre.File2.rafraichit();
    genere_sorties(b.valeurs, b.fenetre);
  }
  std::string fichier_export() const { return lit_octets(b.exporte() / nom_export); }

  Boutique b;
};

TEST_F(Export, ArticleCodesInReferenceModeZero) {
  b.valeurs.config.refarti = 0;
  exporte();
  // A blank code is still sent, as an empty reference; excluded articles and
  // articles outside the exchange are not.
  EXPECT_EQ(fichier_export(),
            "1000000000001\t10.00\t\r\n1000000000002\t2.50\t\r\n1000000000003\t-2.00\t\r\n"
            "\t1234.50\t\r\n");
  EXPECT_TRUE(b.fenetre.List2.empty());
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Sauvegarde histo Sorties", "Export g\xE9n\xE9r\xE9"}));
  EXPECT_EQ(b.fenetre.passes_evenements, 1);
}

TEST_F(Export, AlternativeReferencesOtherwiseWithTheWorkstationSeparator) {
  exporte();
  EXPECT_EQ(fichier_export(), "BOU-001\t10.00\t\r\nEPI-002\t2.50\t\r\n");

  Boutique v(',');
  auto articles = articles_boutique();
  articles[5].marque_echange = '1';  // THÉ, 0.125
  articles[0].reference_alternative = "  BOU-001";
  v.ecrit_caisse(articles);
  v.valeurs.config.refarti = -3;
  genere_sorties(v.valeurs, v.fenetre);
  EXPECT_EQ(lit_octets(v.exporte() / nom_export),
            "BOU-001\t10,00\t\r\nEPI-002\t2,50\t\r\nEPI-006\t0,13\t\r\n");
}

TEST_F(Export, EmptyRegisterGivesAnEmptyFile) {
  ASSERT_TRUE(fabrique::ecrit_articles(b.dossier_caisse(), {}).ok());
  exporte();
  EXPECT_TRUE(fs::exists(b.exporte() / nom_export));
  EXPECT_EQ(fichier_export(), "");
}

TEST_F(Export, AWaitingFileWhoseArchiveCopyFailedStays) {
  ecrit_octets(b.exporte() / "stock_1.txt", "un\r\n");
  ecrit_octets(b.exporte() / "stock_2.txt", "deux\r\n");
  {
    const EchecInjecte echec([](Operation o, std::string_view chemin) {
      return o == Operation::copie && chemin.ends_with("histo\\stock_1.txt");
    });
    exporte();
  }
  EXPECT_EQ(lit_octets(b.exporte() / "stock_1.txt"), "un\r\n");
  EXPECT_EQ(Boutique::fichiers(b.histo()), (Lignes{"stock_2.txt"}));
  EXPECT_EQ(fichier_export(), "BOU-001\t10.00\t\r\nEPI-002\t2.50\t\r\n");
}

TEST_F(Export, TheServerNeverSeesAHalfWrittenExport) {
  bool vu = false;
  const EchecInjecte espion([&](Operation o, std::string_view chemin) {
    if (o == Operation::renommage && chemin.ends_with(nom_export)) {
      // At the rename the whole file exists under a name "*.txt" misses.
      vu = true;
      EXPECT_FALSE(fs::exists(b.exporte() / nom_export));
      EXPECT_EQ(lit_octets(b.exporte() / (nom_export + ".tmp")),
                "BOU-001\t10.00\t\r\nEPI-002\t2.50\t\r\n");
      EXPECT_FALSE(correspond_motif(nom_export + ".tmp", "*.txt"));
    }
    return false;
  });
  exporte();
  EXPECT_TRUE(vu);
  EXPECT_EQ(Boutique::fichiers(b.exporte()), (Lignes{nom_export}));
}

TEST_F(Export, ARefusedRenameWritesInPlaceAndSaysSo) {
  const EchecInjecte echec([](Operation o, std::string_view) { return o == Operation::renommage; });
  exporte();
  EXPECT_EQ(Boutique::fichiers(b.exporte()), (Lignes{nom_export}));
  EXPECT_EQ(fichier_export(), "BOU-001\t10.00\t\r\nEPI-002\t2.50\t\r\n");
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Sauvegarde histo Sorties",
                                       "Renommage refus\xE9, export \xE9"
                                       "crit directement : " +
                                           nom_export,
                                       "Export g\xE9n\xE9r\xE9"}));
}

TEST_F(Export, AnExportThatCannotBeWrittenIsReportedAndLeavesNothing) {
  const std::string transit = b.valeurs.config.transit;
  const EchecInjecte echec([transit](Operation o, std::string_view chemin) {
    return o == Operation::ecriture && chemin.starts_with(transit);
  });
  exporte();
  EXPECT_EQ(Boutique::fichiers(b.exporte()), Lignes{});
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Sauvegarde histo Sorties",
                                       "Export non \xE9"
                                       "crit : " +
                                           nom_export,
                                       "Export g\xE9n\xE9r\xE9"}));
}

TEST_F(Export, AnArticleFileThatCannotBeOpenedGivesNoEmptyExport) {
  const EchecInjecte echec([](Operation o, std::string_view chemin) {
    return o == Operation::ouverture && chemin.ends_with("w_caiar4.wdo");
  });
  exporte();
  EXPECT_EQ(Boutique::fichiers(b.exporte()), Lignes{});
  EXPECT_EQ(b.fenetre.journal[1],
            "Export non \xE9"
            "crit : " +
                nom_export);
}

TEST_F(Export, TwoExportsInTheSameSecond) {
  exporte();
  genere_sorties(b.valeurs, b.fenetre);  // File2 shows the first export now
  EXPECT_EQ(b.fenetre.List2, (Lignes{nom_export}));
  EXPECT_EQ(Boutique::fichiers(b.histo()), (Lignes{nom_export}));
  EXPECT_EQ(Boutique::fichiers(b.exporte()), (Lignes{nom_export}));

  // A prefix the export list does not show: never archived, replaced.
  b.valeurs.config.nom_sto = "niveaux_";
  genere_sorties(b.valeurs, b.fenetre);
  b.fenetre.journal.clear();
  genere_sorties(b.valeurs, b.fenetre);
  EXPECT_TRUE(b.fenetre.List2.empty());
  EXPECT_EQ(Boutique::fichiers(b.exporte()), (Lignes{"niveaux_20261205210709.txt"}));
}

TEST_F(Export, MoreThan32767ArticlesAreExportedWhole) {
  fabrique::ParametresCaisse p;
  p.nombre_articles = 40000;
  p.part_exclus = 0;
  p.part_hors_echange = 0;
  p.part_sans_reference = 0;
  p.indexe_references = false;
  fabrique::ContenuCaisse contenu;
  ASSERT_TRUE(fabrique::fabrique_caisse(b.dossier_caisse(), p, &contenu).ok());
  exporte();
  const std::string e = fichier_export();
  EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 40000);
  const std::string derniere =
      std::string(sans_espaces(contenu.articles.back().reference_alternative()));
  EXPECT_NE(e.find("\r\n" + derniere + "\t"), std::string::npos);
}

}  // namespace
}  // namespace pontex::test

// The exchange cycle as the window runs it: the import folder taken in, then
// the stock export. Files from the server must be applied exactly once, in
// name order, and never lost.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "pontex/exchange/echange.h"
#include "tests/exchange/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

class Import : public ::testing::Test {
 protected:
  Import() { b.ecrit_caisse(articles_boutique()); }
  void cycle() {
    b.fenetre.File1.rafraichit();
    b.fenetre.File2.rafraichit();
    traite_import(b.valeurs, b.fenetre);
    genere_sorties(b.valeurs, b.fenetre);
  }
  void importe() {
    b.fenetre.File1.rafraichit();
    traite_import(b.valeurs, b.fenetre);
  }
  bool analyse_presente() const { return fs::exists(b.dossier.chemin() / "prov_stk_ana_ron.txt"); }

  Boutique b;
};

TEST_F(Import, WholeCycleByteForByte) {
  ecrit_octets(b.exporte() / "stock_20261205200000.txt", "EPI-002\t2.50\t\r\n");
  const std::string a = "BOU-001\t2\nINCONNU\t1.5\n";
  const std::string bb = "bou-001\t-3\r\n1000000000002\t0.5\t\r\n";
  b.depose("b.TXT", bb);
  b.depose("a.txt", a);
  const std::string mouvements_avant = lit_octets(b.caisse() / "W_CAIREC.WDO");

  cycle();

  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : a.txt", "2.00 x " + designation_40("PAIN DE CAMPAGNE"),
                    "1.50 x Erreur reference : INCONNU", "Traitement : b.TXT",
                    "-3.00 x " + designation_40("PAIN DE CAMPAGNE"),
                    "0.50 x " + designation_40("CAF\xC9 EN GRAINS"), "Sauvegarde histo Sorties",
                    "Export g\xE9n\xE9r\xE9"}));
  EXPECT_EQ(b.fenetre.passes_evenements, 3);

  // Import folder: the kept copies and the day's error file only.
  EXPECT_EQ(Boutique::fichiers(b.import()), (Lignes{"a.old", "b.old", "erreurs_05-12-2026.err"}));
  EXPECT_EQ(lit_octets(b.import() / "a.old"), a);
  EXPECT_EQ(lit_octets(b.import() / "b.old"), bb);
  EXPECT_EQ(lit_octets(b.fichier_erreurs()), "Erreur reference : INCONNU 1.5 \r\n");
  EXPECT_FALSE(analyse_presente());

  // Articles: stock, second quantity and date of the two moved ones only.
  auto attendu1 = b.originaux[0].octets;
  auto attendu2 = b.originaux[1].octets;
  const auto pose = [](auto& o, std::size_t offset, const auto& octets) {
    std::copy(octets.begin(), octets.end(), o.begin() + static_cast<std::ptrdiff_t>(offset));
  };
  const std::string date = "05-12-2026";
  pose(attendu1, 71, octets_f32(9.0f));
  pose(attendu1, 79, octets_f32(6.0f));
  pose(attendu1, 93, date);
  pose(attendu2, 71, octets_f32(3.0f));
  pose(attendu2, 79, octets_f32(-0.5f));
  pose(attendu2, 93, date);
  EXPECT_EQ(b.article(1).octets, attendu1);
  EXPECT_EQ(b.article(2).octets, attendu2);
  for (std::int32_t k = 3; k <= 6; ++k) EXPECT_EQ(b.article(k).octets, b.originaux[k - 1].octets);
  EXPECT_EQ(b.article(0).nombre_articles(), 6);

  // Movement file: header count 3 (its other bytes as they were), then the
  // three movements in file order.
  const std::string m = lit_octets(b.caisse() / "W_CAIREC.WDO");
  ASSERT_EQ(m.size(), 4u * 64);
  std::string entete = mouvements_avant.substr(0, 64);
  entete.replace(48, 4, std::string("\x03\0\0\0", 4));
  EXPECT_EQ(m.substr(0, 64), entete);
  const auto en_texte = [](const std::array<std::uint8_t, 64>& o) {
    return std::string(o.begin(), o.end());
  };
  EXPECT_EQ(m.substr(64, 64), en_texte(mouvement_attendu("1000000000001", 2.0f, 12345, 7, 3)));
  EXPECT_EQ(m.substr(128, 64), en_texte(mouvement_attendu("1000000000001", -3.0f, 12345, 7, 3)));
  EXPECT_EQ(m.substr(192, 64), en_texte(mouvement_attendu("1000000000002", 0.5f, -7, 7, 3)));

  // Export: the waiting file archived, the new one with the new stock.
  EXPECT_EQ(b.fenetre.List2, (Lignes{"stock_20261205200000.txt"}));
  EXPECT_EQ(Boutique::fichiers(b.histo()), (Lignes{"stock_20261205200000.txt"}));
  EXPECT_EQ(lit_octets(b.histo() / "stock_20261205200000.txt"), "EPI-002\t2.50\t\r\n");
  EXPECT_EQ(Boutique::fichiers(b.exporte()), (Lignes{"stock_20261205210709.txt"}));
  EXPECT_EQ(lit_octets(b.exporte() / "stock_20261205210709.txt"),
            "BOU-001\t9.00\t\r\nEPI-002\t3.00\t\r\n");
  EXPECT_EQ(b.fenetre.File2.noms(), (Lignes{"stock_20261205210709.txt"}));
}

TEST_F(Import, EmptyImportFolderDoesNothing) {
  importe();
  EXPECT_TRUE(b.fenetre.journal.empty());
  EXPECT_EQ(b.fenetre.passes_evenements, 0);
}

TEST_F(Import, KeptCopyReplacesOnlyTheFinalTxtInAnyCase) {
  b.depose("X.TXT", "A\t1\n");
  b.depose("a.txt.txt", "B\t1\n");
  b.depose("c.Txt", "C\t1\n");
  ecrit_octets(b.import() / "c.old", "yesterday\n");
  importe();
  EXPECT_EQ(Boutique::fichiers(b.import()),
            (Lignes{"X.old", "a.txt.old", "c.old", "erreurs_05-12-2026.err"}));
  EXPECT_EQ(lit_octets(b.import() / "c.old"), "C\t1\n");
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Traitement : a.txt.txt", "1.00 x Erreur reference : B",
                                       "Traitement : c.Txt", "1.00 x Erreur reference : C",
                                       "Traitement : X.TXT", "1.00 x Erreur reference : A"}));
}

// A failure at any of the three steps leaves the file in place, unapplied,
// for the next cycle, which applies it once.
struct EtapeEchouee {
  Operation operation;
  // End of the path that fails: a copy fails on its source or destination,
  // so "a.txt" fails the first copy, to the working file.
  const char* chemin;
};

class ImportEchec : public Import, public ::testing::WithParamInterface<EtapeEchouee> {};

TEST_P(ImportEchec, FileLeftUntouchedAndAppliedOnceLater) {
  const std::string contenu = "BOU-001\t2\n";
  b.depose("a.txt", contenu);
  b.depose("b.txt", "EPI-002\t1\n");
  const EtapeEchouee etape = GetParam();
  {
    const EchecInjecte echec([etape](Operation o, std::string_view chemin) {
      return o == etape.operation && chemin.ends_with(etape.chemin);
    });
    importe();
  }
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Fichier non trait\xE9 : a.txt", "Traitement : b.txt",
                                       "1.00 x " + designation_40("CAF\xC9 EN GRAINS")}));
  EXPECT_EQ(lit_octets(b.import() / "a.txt"), contenu);
  EXPECT_EQ(b.article(1).stock(), 10.0f);
  EXPECT_FALSE(analyse_presente());

  b.fenetre.journal.clear();
  importe();
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : a.txt", "2.00 x " + designation_40("PAIN DE CAMPAGNE")}));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  importe();
  EXPECT_EQ(b.article(1).stock(), 12.0f);
}

INSTANTIATE_TEST_SUITE_P(Etapes, ImportEchec,
                         ::testing::Values(EtapeEchouee{Operation::copie, "a.txt"},
                                           EtapeEchouee{Operation::copie, "a.old"},
                                           EtapeEchouee{Operation::suppression, "a.txt"}));

TEST_F(Import, ReadOnlyImportFolderEndsTheCycle) {
  const EchecInjecte echec(
      [](Operation o, std::string_view) { return o == Operation::suppression; });
  for (const char* nom : {"a.txt", "b.txt", "c.txt"}) b.depose(nom, "BOU-001\t1\n");
  importe();
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Fichier non trait\xE9 : a.txt", "Fichier non trait\xE9 : b.txt",
                    "Fichier non trait\xE9 : c.txt"}));
  EXPECT_EQ(b.fenetre.passes_evenements, 3);
  EXPECT_EQ(b.article(1).stock(), 10.0f);
}

TEST_F(Import, AFileStillBeingWrittenWaitsForTheNextCycle) {
  const fs::path recent = b.depose("recent.txt", "BOU-001\t1\n");
  fs::last_write_time(recent, fs::file_time_type::clock::now());
  const fs::path futur = b.depose("futur.txt", "EPI-002\t1\n");
  fs::last_write_time(futur, fs::file_time_type::clock::now() + std::chrono::hours(2));
  importe();
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : futur.txt", "1.00 x " + designation_40("CAF\xC9 EN GRAINS"),
                    "Fichier non trait\xE9 : recent.txt"}));
  EXPECT_TRUE(fs::exists(recent));
  EXPECT_FALSE(fs::exists(b.import() / "recent.old"));
}

TEST_F(Import, TheListIsReadAfreshAfterEveryFile) {
  b.depose("a.txt", "BOU-001\t1\n");
  b.depose("c.txt", "BOU-001\t1\n");
  b.fenetre.pendant_evenements = [&] {
    if (b.fenetre.passes_evenements == 1) {
      b.depose("b.txt", "BOU-001\t1\n");
      fs::remove(b.import() / "c.txt");  // taken away by someone else
    }
  };
  importe();
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : a.txt", "1.00 x " + designation_40("PAIN DE CAMPAGNE"),
                    "Fichier non trait\xE9 : c.txt", "Traitement : b.txt",
                    "1.00 x " + designation_40("PAIN DE CAMPAGNE")}));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(Boutique::fichiers(b.import()), (Lignes{"a.old", "b.old"}));
}

TEST_F(Import, BadInputCycleCompletesAndExports) {
  std::string garbage;
  for (int i = 0; i < 65536; ++i) garbage += static_cast<char>((i * 7919 + i / 3) % 256);
  b.depose("binaire.txt", garbage);
  b.depose("long.txt", std::string(2 * 1024 * 1024, 'Z') + "\t1\nBOU-001\t1\n");
  b.depose("refs.txt", "\t1\n" + std::string(200, 'R') + "\t1\nBOU-001\t1e400\nBOU-001\t-\n" +
                           "EPI-002\t&HFFFF\n");
  b.depose("vide.txt", "");
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(b.dossier_caisse(), 500000).ok());
  const std::string mouvements = lit_octets(b.caisse() / "W_CAIREC.WDO");

  cycle();

  EXPECT_EQ(Boutique::fichiers(b.import()),
            (Lignes{"binaire.old", "erreurs_05-12-2026.err", "long.old", "refs.old", "vide.old"}));
  EXPECT_EQ(lit_octets(b.import() / "binaire.old"), garbage);
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO"), mouvements);
  EXPECT_EQ(b.article(1).stock(), 11.0f);
  EXPECT_EQ(b.article(2).stock(), 65537.5f);
  EXPECT_EQ(lit_octets(b.exporte() / "stock_20261205210709.txt"),
            "BOU-001\t11.00\t\r\nEPI-002\t65537.50\t\r\n");
  EXPECT_EQ(b.fenetre.journal.back(), "Export g\xE9n\xE9r\xE9");
}

TEST_F(Import, MissingTransitFolderCycleCompletes) {
  fs::remove_all(b.dossier.chemin() / "transit");
  cycle();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Sauvegarde histo Sorties",
                                       "Export non \xE9"
                                       "crit : stock_20261205210709.txt",
                                       "Export g\xE9n\xE9r\xE9"}));
  EXPECT_FALSE(fs::exists(b.dossier.chemin() / "transit"));
}

}  // namespace
}  // namespace pontex::test

// "Pontex.wdo" as the settings window reads and saves it, never half a file.

#include <gtest/gtest.h>

#include "pontex/data/configuration.h"
#include "pontex/data/parametrage.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

TEST(LignesParametrage, ChaqueLigneSuivieDUnSaut) {
  EXPECT_EQ(lignes_parametrage(""), "");
  EXPECT_EQ(lignes_parametrage("a\r\nb"), "a\nb\n");
  EXPECT_EQ(lignes_parametrage("a\nb\n"), "a\nb\n");
  EXPECT_EQ(lignes_parametrage("a\rb\r\r\n"), "a\nb\n\n");
  EXPECT_EQ(lignes_parametrage("\r\n\r\n"), "\n\n");
}

TEST(TransitSaisi, CommeLeFichierLeLira) {
  EXPECT_EQ(transit_saisi("#TRANSIT#C:\\T\\  | serveur\r\n"), "C:\\T\\");
  EXPECT_EQ(transit_saisi("#TRANSIT#C:\\T  \r\n"), "C:\\T  ");
  EXPECT_EQ(transit_saisi("x\r\n  #TRANSIT#abc"), "abc");
  EXPECT_EQ(transit_saisi("#TRANSIT#a\r\n#TRANSIT#b\r\n"), "a");
  // A key inside another line's comment is the first key all the same.
  EXPECT_EQ(transit_saisi("#FICBASE#C:\\C | voir #TRANSIT#x\r\n#TRANSIT#y\r\n"), "x");
  EXPECT_EQ(transit_saisi("#TRANSIT#"), "");
  EXPECT_EQ(transit_saisi("#TRANSIT#   |"), "");
  EXPECT_EQ(transit_saisi("#transit#abc"), std::nullopt);
  EXPECT_EQ(transit_saisi(""), std::nullopt);
}

TEST(DossiersTransit, ArbreCreeEtCeQuiExisteGarde) {
  DossierTemporaire d;
  ecrit_octets(d.chemin() / "t" / "import" / "garde.txt", "x");
  cree_dossiers_transit(d.valeur_dossier() + "t");
  for (const char* s : {"t/import", "t/import/histo", "t/export", "t/export/histo"}) {
    EXPECT_TRUE(fs::is_directory(d.chemin() / s)) << s;
  }
  EXPECT_EQ(lit_octets(d.chemin() / "t" / "import" / "garde.txt"), "x");
  // A file where a folder should be: the others are still made.
  DossierTemporaire e;
  ecrit_octets(e.chemin() / "t" / "import", "fichier");
  cree_dossiers_transit(e.valeur_dossier() + "t");
  EXPECT_TRUE(fs::is_directory(e.chemin() / "t" / "export" / "histo"));
  EXPECT_TRUE(fs::is_regular_file(e.chemin() / "t" / "import"));
}

TEST(EnregistreParametrage, RemplaceLeFichierEntier) {
  DossierTemporaire d;
  ecrit_octets(d.chemin() / "Pontex.wdo", std::string(500, 'a'));
  // A temporary file left by a save cut short, longer than the new text.
  ecrit_octets(d.chemin() / "Pontex.wdo.tmp", std::string(900, 'z'));
  ASSERT_TRUE(enregistre_parametrage("#TRANSIT#C:\\T\\\r\n"));
  EXPECT_EQ(lit_octets(d.chemin() / "Pontex.wdo"), "#TRANSIT#C:\\T\\\r\n");
  EXPECT_FALSE(fs::exists(d.chemin() / "Pontex.wdo.tmp"));
}

TEST(EnregistreParametrage, RenommageRefuseEcritEnPlace) {
  DossierTemporaire d;
  ecrit_octets(d.chemin() / "Pontex.wdo", std::string(500, 'a'));
  EchecInjecte echec([](Operation o, std::string_view) { return o == Operation::renommage; });
  ASSERT_TRUE(enregistre_parametrage("court\r\n"));
  EXPECT_EQ(lit_octets(d.chemin() / "Pontex.wdo"), "court\r\n");
  EXPECT_FALSE(fs::exists(d.chemin() / "Pontex.wdo.tmp"));
}

TEST(EnregistreParametrage, EcritureRefuseeLaisseLAncien) {
  DossierTemporaire d;
  ecrit_octets(d.chemin() / "Pontex.wdo", "ancien\r\n");
  EchecInjecte echec([](Operation o, std::string_view) {
    return o == Operation::ecriture || o == Operation::ouverture;
  });
  EXPECT_FALSE(enregistre_parametrage("nouveau\r\n"));
  EXPECT_EQ(lit_octets(d.chemin() / "Pontex.wdo"), "ancien\r\n");
}

}  // namespace
}  // namespace pontex::test

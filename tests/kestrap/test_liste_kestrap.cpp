// The list file "kestrap.wdo": how its lines are read, and the list and
// entry files that ship beside the programs, for the build folder and for a
// folder whose name needs quoting.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>
#include <filesystem>
#include <string>

#include "kestrap/liste_kestrap.h"
#include "pontex/shared/processus.h"
#include "tests/support/dossier_temporaire.h"

namespace kestrap {
namespace {

namespace fs = std::filesystem;
using pontex::test::DossierTemporaire;
using pontex::test::ecrit_octets;
using pontex::test::lit_octets;

TEST(ListeKestrap, ValeursCommentairesEspacesEtDerniereLigne) {
  const ListeKestrap l = analyse_liste(
      "#R#premier\r\n"
      "#R#   Pontex.desktop   | the entry\r\n"  // the last line wins
      "#N# \tCaisse | de | la boutique\r\n"     // spaces trimmed, a tab kept
      "#P#cmd\r\n"
      "#P#|nothing but a comment\r\n");  // an empty value replaces
  EXPECT_EQ(l.nom_entree, "Pontex.desktop");
  EXPECT_EQ(l.titre, "\tCaisse");
  EXPECT_EQ(l.commande_retour, "");
  // CR LF, a lone LF, a lone CR, and a last line without an end: no line end
  // ever reaches a value (and so a file name).
  const ListeKestrap fins = analyse_liste("#R#a.desktop\n#N#titre\r#P#cmd");
  EXPECT_EQ(fins.nom_entree, "a.desktop");
  EXPECT_EQ(fins.titre, "titre");
  EXPECT_EQ(fins.commande_retour, "cmd");
}

TEST(ListeKestrap, EtiquettesInconnuesEtLignesCourtesIgnorees) {
  // Tags are case-sensitive and are the first three characters.
  const ListeKestrap l = analyse_liste("#r#petit\r\n#n#x\r\n#p#y\r\n#R\r\n\r\n R#x\r\n #R#x");
  EXPECT_FALSE(l.nom_entree);
  EXPECT_FALSE(l.titre);
  EXPECT_FALSE(l.commande_retour);
  // A known tag with nothing after it sets an empty value.
  EXPECT_EQ(analyse_liste("#R#").nom_entree, "");
}

TEST(ListeKestrap, FichierAbsentIllisibleOuBinaire) {
  DossierTemporaire dossier;
  EXPECT_FALSE(lit_liste("kestrap.wdo").nom_entree);
  fs::create_directory("kestrap.wdo");  // cannot be read as a file
  EXPECT_FALSE(lit_liste("kestrap.wdo").nom_entree);
  fs::remove("kestrap.wdo");
  ecrit_octets("kestrap.wdo", std::string("#R#x\0y\r\n\0\0\377\376", 12));
  EXPECT_EQ(lit_liste("kestrap.wdo").nom_entree, std::string("x\0y", 3));
}

// --- The files that ship ---------------------------------------------------

std::string ligne_commencant_par(const std::string& texte, const std::string& debut) {
  std::size_t p = texte.find("\n" + debut);
  if (p == std::string::npos) return {};
  p += 1;
  return texte.substr(p, texte.find('\n', p) - p);
}

TEST(FichiersLivres, ListeEtEntreeDuDossierDeConstruction) {
  const fs::path bin = PONTEX_DOSSIER_BIN;
  const std::string liste = lit_octets(bin / "kestrap.wdo");
  ASSERT_FALSE(liste.empty());
  EXPECT_NE(liste.find("\r\n"), std::string::npos);
  const ListeKestrap l = analyse_liste(liste);
  EXPECT_EQ(l.nom_entree, "Pontex.desktop");
  EXPECT_EQ(l.titre, "Pontex");
  EXPECT_EQ(l.commande_retour, "'" + (bin / "Pontex").string() + "'");

  const std::string entree = "\n" + lit_octets(bin / "Pontex.desktop");
  EXPECT_NE(entree.find("\n[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(entree.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(entree.find("\nName=Pontex\n"), std::string::npos);
  EXPECT_EQ(ligne_commencant_par(entree, "Exec="), "Exec=" + (bin / "Pontex").string());
  EXPECT_EQ(ligne_commencant_par(entree, "Path="), "Path=" + bin.string());
}

// Writes the shipped files for `dossier` with the build's own script.
void ecrit_fichiers_livres(const fs::path& dossier) {
  const QStringList arguments{"-DDOSSIER=" + QString::fromStdString(dossier.string()), "-P",
                              SCRIPT_FICHIERS_LIVRES};
  QProcess cmake;
  cmake.start(CMAKE_COMMANDE, arguments);
  ASSERT_TRUE(cmake.waitForFinished(30000));
  ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAllStandardError().toStdString();
}

TEST(FichiersLivres, LaCommandeDeRetourDemarrePontexDansUnDossierAuNomDifficile) {
  // Spaces, a quote, a "$" and accents in the folder name: "Fin" must still
  // start this Pontex and no other.
  DossierTemporaire racine;
  const fs::path dossier = racine.chemin() / "Caisse Données l'été $HOME";
  fs::create_directory(dossier);
  ecrit_fichiers_livres(dossier);
  const fs::path marqueur = racine.chemin() / "marqueur";
  ecrit_octets(dossier / "Pontex", "#!/bin/sh\necho lance >> '" + marqueur.string() + "'\n");
  fs::permissions(dossier / "Pontex", fs::perms::owner_all);

  const ListeKestrap l = analyse_liste(lit_octets(dossier / "kestrap.wdo"));
  ASSERT_TRUE(l.commande_retour);
  // The list file is Windows-1252: "é" is one byte there.
  EXPECT_NE(l.commande_retour->find("Donn\351es l'\\''\351t\351"), std::string::npos);
  ASSERT_TRUE(pontex::demarre_commande(*l.commande_retour));
  EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(marqueur); }, 5000));
  QTest::qWait(100);
  EXPECT_EQ(lit_octets(marqueur), "lance\n");

  // The desktop entry quotes the path and escapes "$" (twice: once for the
  // command, once for the value).
  const std::string entree = "\n" + lit_octets(dossier / "Pontex.desktop");
  EXPECT_EQ(ligne_commencant_par(entree, "Exec="),
            "Exec=\"" + racine.chemin().string() + "/Caisse Données l'été \\\\$HOME/Pontex\"");
  EXPECT_EQ(ligne_commencant_par(entree, "Path="), "Path=" + dossier.string());
}

}  // namespace
}  // namespace kestrap

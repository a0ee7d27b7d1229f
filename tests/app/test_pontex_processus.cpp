// The real program, run as a shop runs it: started with no arguments in the
// folder that holds "Pontex.wdo", it counts five seconds down and runs one
// exchange. The process is ended by the test afterwards.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include "tests/support/dossier_temporaire.h"
#include "tools/fabrique_caisse.h"

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

std::string reference(const EnregistrementArticle& a) {
  std::string r = a.reference_alternative();
  r.erase(r.find_last_not_of(' ') + 1);
  return r;
}

float stock(const std::string& caisse, int k) {
  EnregistrementArticle a;
  EXPECT_TRUE(fabrique::lit_article_dossier(caisse, k, a));
  return a.stock();
}

std::vector<fs::path> exports(const fs::path& dossier) {
  std::vector<fs::path> trouves;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dossier, ec)) {
    const std::string nom = e.path().filename().string();
    if (nom.starts_with("stock_") && nom.ends_with(".txt")) trouves.push_back(e.path());
  }
  return trouves;
}

TEST(ProgrammePontex, UnCycleCompletDansUnVraiProcessus) {
  DossierTemporaire d;
  const std::string caisse = d.valeur_dossier() + "caisse\\";
  const std::string transit = d.valeur_dossier() + "transit\\";
  fs::create_directories(d.chemin() / "caisse");
  for (const char* s : {"transit/import/histo", "transit/export/histo"}) {
    fs::create_directories(d.chemin() / s);
  }
  fabrique::ParametresCaisse parametres;
  parametres.nombre_articles = 20;
  parametres.part_exclus = parametres.part_hors_echange = parametres.part_sans_reference = 0;
  fabrique::ContenuCaisse registre;
  ASSERT_TRUE(fabrique::fabrique_caisse(caisse, parametres, &registre));
  ecrit_octets(d.chemin() / "Pontex.wdo", "#TRANSIT#" + transit + "\r\n#FICBASE#" + caisse +
                                              "\r\n#REFARTI#1\r\n#NOM_STO#stock_\r\n"
                                              "#NUMPOST#1\r\n#UTILISA#1\r\n#TIM_ANA#30\r\n");
  const float stock2 = stock(caisse, 2);
  const float stock3 = stock(caisse, 3);
  ecrit_octets(d.chemin() / "transit/import/mvt.txt", reference(registre.articles[1]) + "\t3\n" +
                                                          reference(registre.articles[2]) +
                                                          "\t-1\nINCONNU\t2\n");

  QProcess pontex;
  pontex.setWorkingDirectory(QString::fromStdString(d.chemin().string()));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.remove("PONTEX_DEMARRAGE_REDUIT");
  pontex.setProcessEnvironment(env);
  pontex.start(PONTEX_PROGRAMME, {});
  ASSERT_TRUE(pontex.waitForStarted(10000));

  const fs::path import = d.chemin() / "transit/import/mvt.txt";
  const bool cycle = QTest::qWaitFor(
      [&] { return !fs::exists(import) && !exports(d.chemin() / "transit/export").empty(); },
      30000);
  const bool toujours_la = pontex.state() == QProcess::Running;
  pontex.kill();
  pontex.waitForFinished(10000);
  ASSERT_TRUE(cycle) << pontex.readAllStandardError().toStdString();
  // Waiting for its restart, not crashed.
  EXPECT_TRUE(toujours_la);

  EXPECT_FLOAT_EQ(stock(caisse, 2), stock2 + 3);
  EXPECT_FLOAT_EQ(stock(caisse, 3), stock3 - 1);
  EnregistrementMouvement entete;
  ASSERT_TRUE(fabrique::lit_mouvement_dossier(caisse, 0, entete));
  EXPECT_EQ(entete.poste(), 2);  // the header's field 7: two movements
  EXPECT_TRUE(fs::exists(d.chemin() / "transit/import/mvt.old"));
  bool erreur_notee = false;
  for (const auto& e : fs::directory_iterator(d.chemin() / "transit/import")) {
    if (e.path().extension() == ".err") {
      erreur_notee =
          lit_octets(e.path()).find("Erreur reference : INCONNU 2 \r\n") != std::string::npos;
    }
  }
  EXPECT_TRUE(erreur_notee);
  // Every article is exported, with its new stock.
  const auto fichiers = exports(d.chemin() / "transit/export");
  ASSERT_EQ(fichiers.size(), 1u);
  const std::string contenu = lit_octets(fichiers[0]);
  EXPECT_EQ(std::count(contenu.begin(), contenu.end(), '\n'), 20);
  EXPECT_NE(contenu.find(reference(registre.articles[1]) + "\t"), std::string::npos);
}

}  // namespace
}  // namespace pontex::test

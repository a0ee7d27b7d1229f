// The real program, run as a shop runs it: started with no arguments in the
// folder that holds "Pontex.wdo", it counts five seconds down and runs one
// exchange. The process is ended by the test afterwards.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include "tests/app/fenetres_test.h"

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> fichiers(const fs::path& dossier, std::string_view debut,
                               std::string_view fin) {
  std::vector<fs::path> trouves;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dossier, ec)) {
    const std::string nom = e.path().filename().string();
    if (nom.starts_with(debut) && nom.ends_with(fin)) trouves.push_back(e.path());
  }
  return trouves;
}

TEST(ProgrammePontex, UnCycleCompletDansUnVraiProcessus) {
  Boutique b;
  const float stock2 = b.stock(2);
  const float stock3 = b.stock(3);
  const fs::path import = b.chemin("transit/import/mvt.txt");
  ecrit_octets(import, b.reference(2) + "\t3\n" + b.reference(3) + "\t-1\nINCONNU\t2\n");

  QProcess pontex;
  pontex.setWorkingDirectory(QString::fromStdString(b.dossier.chemin().string()));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
#ifndef _WIN32
  // Under Wine the program keeps the platform the tests run on ("windows"):
  // Qt's offscreen platform does not come up there.
  env.insert("QT_QPA_PLATFORM", "offscreen");
#endif
  env.remove("PONTEX_DEMARRAGE_REDUIT");
  pontex.setProcessEnvironment(env);
#ifdef _WIN32
  // The build's path is the build machine's; the program lies in bin\ beside
  // the tests' folder.
  pontex.start(QCoreApplication::applicationDirPath() + "/../bin/Pontex.exe", {});
#else
  pontex.start(PONTEX_PROGRAMME, {});
#endif
  ASSERT_TRUE(pontex.waitForStarted(10000));
  const fs::path exports = b.chemin("transit/export");
  const bool cycle = QTest::qWaitFor(
      [&] { return !fs::exists(import) && !fichiers(exports, "stock_", ".txt").empty(); }, 30000);
  const bool toujours_la = pontex.state() == QProcess::Running;
  pontex.kill();
  pontex.waitForFinished(10000);
  ASSERT_TRUE(cycle) << pontex.readAllStandardError().toStdString();
  // Waiting for its restart, not crashed.
  EXPECT_TRUE(toujours_la);

  EXPECT_FLOAT_EQ(b.stock(2), stock2 + 3);
  EXPECT_FLOAT_EQ(b.stock(3), stock3 - 1);
  EnregistrementMouvement entete;
  ASSERT_TRUE(fabrique::lit_mouvement_dossier(b.caisse(), 0, entete));
  EXPECT_EQ(entete.poste(), 2);  // the header's field 7: two movements
  EXPECT_TRUE(fs::exists(b.chemin("transit/import/mvt.old")));
  const auto erreurs = fichiers(b.chemin("transit/import"), "erreurs_", ".err");
  ASSERT_EQ(erreurs.size(), 1u);
  EXPECT_NE(lit_octets(erreurs[0]).find("Erreur reference : INCONNU 2 \r\n"), std::string::npos);
  // Every article is exported, with its new stock.
  const auto export_ = fichiers(exports, "stock_", ".txt");
  ASSERT_EQ(export_.size(), 1u);
  const std::string contenu = lit_octets(export_[0]);
  EXPECT_EQ(std::count(contenu.begin(), contenu.end(), '\n'), 20);
  EXPECT_NE(contenu.find(b.reference(2) + "\t"), std::string::npos);
}

}  // namespace
}  // namespace pontex::test

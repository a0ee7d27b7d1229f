// The relauncher as the shop runs it: a process started in the programs'
// folder beside a stand-in Pontex that leaves a marker. The relauncher's
// program is copied into that folder so that the stand-in, not a Pontex
// built beside it, is the one found.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <string>

#include "tests/support/dossier_temporaire.h"

namespace relvano {
namespace {

namespace fs = std::filesystem;
using pontex::test::DossierTemporaire;
using pontex::test::ecrit_octets;
using pontex::test::lit_octets;

class Relance : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;

  Relance() {
    fs::copy_file(RELVANO_PROGRAMME, "relvano");
    fs::permissions("relvano", fs::perms::owner_all);
  }

  static void installe_pontex() {
    // Records each start, with the minimised-start mark it was given.
    ecrit_octets("Pontex", "#!/bin/sh\necho \"start [$PONTEX_DEMARRAGE_REDUIT]\" >> marqueur\n");
    fs::permissions("Pontex", fs::perms::owner_all);
  }

  // Environment without a display and without a Pontex along PATH.
  static QProcessEnvironment environnement() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("PONTEX_DEMARRAGE_REDUIT");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("PATH", "/usr/bin:/bin");
    return env;
  }

  // Starts the relauncher and waits for its end, and for the marker when
  // `pontex_attendu`. Gives the time from the start to the marker, -1 when
  // none appeared; `duree_` holds the relauncher's run time.
  qint64 lance(const QStringList& arguments, const QProcessEnvironment& env, bool pontex_attendu) {
    QProcess relvano;
    relvano.setWorkingDirectory(QString::fromStdString(dossier_.chemin().string()));
    relvano.setProcessEnvironment(env);
    QElapsedTimer chrono;
    chrono.start();
    relvano.start(QString::fromStdString((dossier_.chemin() / "relvano").string()), arguments);
    EXPECT_TRUE(relvano.waitForStarted(5000));
    qint64 marqueur = -1;
    const auto guette = [&] {
      if (marqueur < 0 && fs::exists("marqueur")) marqueur = chrono.elapsed();
    };
    // Bounded waits: the checks below say what did not happen in time.
    (void)QTest::qWaitFor(
        [&] {
          guette();
          return relvano.state() == QProcess::NotRunning;
        },
        10000);
    duree_ = chrono.elapsed();
    EXPECT_EQ(relvano.state(), QProcess::NotRunning) << "relvano has not ended";
    EXPECT_EQ(relvano.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(relvano.exitCode(), 0);
    if (pontex_attendu) {
      (void)QTest::qWaitFor(
          [&] {
            guette();
            return marqueur >= 0;
          },
          3000);
    }
    if (relvano.state() != QProcess::NotRunning) relvano.kill();
    return marqueur;
  }

  qint64 duree_ = 0;
};

TEST_F(Relance, DemarrePontexUneFoisApresDeuxSecondesPuisSeTermine) {
  // No picture and arguments Qt would act on (without a display, "-platform
  // xcb" would stop the program): all ignored.
  installe_pontex();
  const qint64 marqueur = lance({"-platform", "xcb", "n'importe quoi"}, environnement(), true);
  EXPECT_GE(marqueur, 1990);
  EXPECT_LT(marqueur, 8000);
  QTest::qWait(300);
  EXPECT_EQ(lit_octets("marqueur"), "start []\n");
}

TEST_F(Relance, DemarrageReduitTransmisAPontex) {
  installe_pontex();
  fs::copy_file(fs::path(PONTEX_DOSSIER_BIN) / "qz_img_024.gif", "qz_img_024.gif");
  QProcessEnvironment env = environnement();
  env.insert("PONTEX_DEMARRAGE_REDUIT", "1");
  EXPECT_GE(lance({}, env, true), 1990);
  QTest::qWait(300);
  EXPECT_EQ(lit_octets("marqueur"), "start [1]\n");
}

TEST_F(Relance, SansPontexSeTermineQuandMeme) {
  EXPECT_EQ(lance({}, environnement(), false), -1);
  EXPECT_GE(duree_, 1990);
  EXPECT_FALSE(fs::exists("marqueur"));
}

}  // namespace
}  // namespace relvano

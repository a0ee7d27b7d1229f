// The relauncher: the splash driven in-process (where it stands, what it
// shows, the one start of Pontex two seconds after the load), then the
// program as the shop runs it, a process started in the programs' folder
// beside a stand-in Pontex that leaves a marker. The relauncher's program is
// copied into that folder so that the stand-in, not a Pontex built beside
// it, is the one found. On Windows the stand-in is a small program that
// writes how it was started; the relauncher is started minimised through the
// start-up information, as Pontex starts it in background mode.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "pontex/fenetres/systeme.h"
#include "relvano/form1.h"
#include "tests/support/dossier_temporaire.h"

namespace relvano {
namespace {

namespace fs = std::filesystem;
using pontex::Fenetre_lancement;
using pontex::test::DossierTemporaire;
using pontex::test::ecrit_octets;
using pontex::test::lit_octets;

// Starts and the end, noted in order, never done.
class SystemeNote : public pontex::fenetres::Systeme {
 public:
  explicit SystemeNote(std::vector<std::string>& evenements) : evenements_(evenements) {}
  pontex::Resultat demarre(std::string_view nom, Fenetre_lancement mode) override {
    evenements_.push_back(std::string(nom) + (mode == Fenetre_lancement::normale ? " normale"
                                              : mode == Fenetre_lancement::sans_focus
                                                  ? " sans focus"
                                                  : " reduite"));
    return pontex::Resultat::echec("not started by the tests");
  }
  void termine() override { evenements_.push_back("fin"); }

 private:
  std::vector<std::string>& evenements_;
};

class Splash : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::vector<std::string> evenements_;
  SystemeNote systeme_{evenements_};

  SystemeNote& systeme() { return systeme_; }
};

TEST_F(Splash, PlaceFixeEnHauteurCentreeEnLargeur) {
  Form1 f(systeme(), Fenetre_lancement::normale);
  f.Form_Load();
  const QRect ecran = QGuiApplication::primaryScreen()->geometry();
  // 3045 x 2670 twips with the frame; the top edge at (9000 - 2670) / 2 =
  // 3165 twips, whatever the screen's height.
  EXPECT_EQ(f.size(), QSize(203, 178));
  EXPECT_EQ(f.y() - ecran.y(), 211);
  EXPECT_EQ(f.x() - ecran.x(), (ecran.width() - 203) / 2);
  EXPECT_EQ(f.Label1->text(), QString::fromUtf8("Réinitialisation"));
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(Splash, ImageASaTaillePropreOuAbsente) {
  {
    Form1 f(systeme(), Fenetre_lancement::normale);
    f.Form_Load();
    EXPECT_TRUE(f.Image1->pixmap().isNull());
  }
  fs::copy_file(fs::path(PONTEX_DOSSIER_BIN) / "qz_img_024.gif", "qz_img_024.gif");
  Form1 f(systeme(), Fenetre_lancement::normale);
  f.Form_Load();
  EXPECT_EQ(f.Image1->pixmap().size(), QSize(117, 82));
  EXPECT_EQ(f.Image1->size(), QSize(117, 82));  // its own size, not stretched
}

TEST_F(Splash, UnSeulDemarrageAuPremierTop) {
  // Pontex is started the way the relauncher itself was started; the count
  // of two seconds runs from the load (its timing is checked on the real
  // program).
  for (const Fenetre_lancement mode : {Fenetre_lancement::normale, Fenetre_lancement::sans_focus,
                                       Fenetre_lancement::reduite_sans_focus}) {
    evenements_.clear();
    Form1 f(systeme(), mode);
    EXPECT_FALSE(f.Timer1->isActive());
    f.Form_Load();
    f.affiche();
    EXPECT_EQ(static_cast<bool>(f.windowState() & Qt::WindowMinimized),
              mode == Fenetre_lancement::reduite_sans_focus);
    // Only a start by a person takes the focus.
    EXPECT_EQ(f.testAttribute(Qt::WA_ShowWithoutActivating), mode != Fenetre_lancement::normale);
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 2000);
    EXPECT_TRUE(evenements_.empty());
    f.Timer1_Timer();
    // The end was recorded, not carried out: the timer must not tick again.
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(evenements_, (std::vector<std::string>{
                               mode == Fenetre_lancement::normale      ? "Pontex.exe normale"
                               : mode == Fenetre_lancement::sans_focus ? "Pontex.exe sans focus"
                                                                       : "Pontex.exe reduite",
                               "fin"}));
  }
}

TEST_F(Splash, LaFermetureNEmpechePasLaRelance) {
  // Closed by the window manager, the splash would end the relauncher
  // without restarting Pontex: it stays, and the count goes on.
  Form1 f(systeme(), Fenetre_lancement::normale);
  f.Form_Load();
  f.affiche();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_FALSE(f.close());
  EXPECT_TRUE(f.isVisible());
  EXPECT_TRUE(f.Timer1->isActive());
}

// --- The program run as a process ------------------------------------------

class Relance : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;

#ifdef _WIN32
  static constexpr const char* kRelvano = "relvano.exe";

  Relance() { fs::copy_file(RELVANO_PROGRAMME, kRelvano); }

  static void installe_pontex() {
    // Writes its show state, the wish of its environment and how it reads
    // its start.
    fs::copy_file(PONTEX_MARQUEUR_ESSAI, "Pontex.exe");
  }

  // The relauncher's Qt DLLs and plugins are those beside the tests; no
  // wish of a minimised start.
  static QProcessEnvironment environnement() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("PONTEX_DEMARRAGE_REDUIT");
    const QString tests = QCoreApplication::applicationDirPath();
    env.insert("PATH", tests + ";" + env.value("PATH"));
    env.insert("QT_PLUGIN_PATH", tests);
    return env;
  }
#else
  static constexpr const char* kRelvano = "relvano";

  Relance() {
    fs::copy_file(RELVANO_PROGRAMME, kRelvano);
    fs::permissions(kRelvano, fs::perms::owner_all);
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
#endif

  // Starts the relauncher and waits, a bounded time, for its end and, when
  // `pontex_attendu`, for the marker. Gives the time from the start to the
  // marker (-1: none); `duree_` is the relauncher's run time.
  // `reduit`: started minimised without the focus (on Windows through the
  // start-up information, as Pontex does; the environment says nothing).
  qint64 lance(const QStringList& arguments, const QProcessEnvironment& env, bool pontex_attendu,
               bool reduit = false) {
    QProcess relvano;
    relvano.setWorkingDirectory(QString::fromStdString(dossier_.chemin().string()));
    relvano.setProcessEnvironment(env);
#ifdef _WIN32
    if (reduit) {
      relvano.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* a) {
        a->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        a->startupInfo->wShowWindow = SW_SHOWMINNOACTIVE;
      });
    }
#else
    (void)reduit;
#endif
    QElapsedTimer chrono;
    chrono.start();
    relvano.start(QString::fromStdString((dossier_.chemin() / programme_).string()), arguments);
    EXPECT_TRUE(relvano.waitForStarted(5000));
    qint64 marqueur = -1;
    duree_ = -1;
    (void)QTest::qWaitFor(
        [&] {
          if (marqueur < 0 && fs::exists("marqueur")) marqueur = chrono.elapsed();
          if (duree_ < 0 && relvano.state() == QProcess::NotRunning) duree_ = chrono.elapsed();
          return duree_ >= 0 && (marqueur >= 0 || !pontex_attendu);
        },
        13000);
    EXPECT_EQ(relvano.state(), QProcess::NotRunning) << "relvano has not ended";
    EXPECT_EQ(relvano.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(relvano.exitCode(), 0);
    if (relvano.state() != QProcess::NotRunning) relvano.kill();
    return marqueur;
  }

  qint64 duree_ = 0;
  // The relauncher started, relative to the current folder.
  fs::path programme_ = kRelvano;
};

TEST_F(Relance, DemarrePontexUneFoisApresDeuxSecondesPuisSeTermine) {
  // No picture and arguments Qt would act on (without a display, "-platform
  // xcb" would stop the program): all ignored.
  installe_pontex();
  const qint64 marqueur = lance({"-platform", "xcb", "n'importe quoi"}, environnement(), true);
  EXPECT_GE(marqueur, 1990);
  EXPECT_LT(marqueur, 8000);
  QTest::qWait(300);
#ifdef _WIN32
  // Normal window with the focus, found in the relauncher's own folder.
  const std::string m = lit_octets("marqueur");
  EXPECT_EQ(m.substr(0, m.find(' ', m.find(' ', 2) + 1)),
            std::to_string(SW_SHOWNORMAL) + " absent normale")
      << m;
  EXPECT_EQ(fs::path(m.substr(m.find(' ', m.find(' ', 2) + 1) + 1)).filename(), "Pontex.exe");
#else
  EXPECT_EQ(lit_octets("marqueur"), "start []\n");
#endif
}

TEST_F(Relance, DemarrageReduitTransmisAPontex) {
  installe_pontex();
  fs::copy_file(fs::path(PONTEX_DOSSIER_BIN) / "qz_img_024.gif", "qz_img_024.gif");
#ifdef _WIN32
  // Started minimised by its show state alone: Pontex is started minimised
  // without the focus, by the show state and by the wish.
  EXPECT_GE(lance({}, environnement(), true, /*reduit=*/true), 1990);
  QTest::qWait(300);
  const std::string m = lit_octets("marqueur");
  EXPECT_EQ(m.substr(0, m.find(' ', m.find(' ', 2) + 1)),
            std::to_string(SW_SHOWMINNOACTIVE) + " 1 reduite")
      << m;
#else
  QProcessEnvironment env = environnement();
  env.insert("PONTEX_DEMARRAGE_REDUIT", "1");
  EXPECT_GE(lance({}, env, true), 1990);
  QTest::qWait(300);
  EXPECT_EQ(lit_octets("marqueur"), "start [1]\n");
#endif
}

#ifndef _WIN32
TEST_F(Relance, SansFocusTransmisAPontex) {
  // The restart of Pontex in normal mode: the argument goes on to the new
  // Pontex, the environment says nothing of a minimised start.
  ecrit_octets("Pontex", "#!/bin/sh\necho \"start [$PONTEX_DEMARRAGE_REDUIT] $*\" >> marqueur\n");
  fs::permissions("Pontex", fs::perms::owner_all);
  EXPECT_GE(lance({"--sans-focus"}, environnement(), true), 1990);
  QTest::qWait(300);
  EXPECT_EQ(lit_octets("marqueur"), "start [] --sans-focus\n");
}
#endif

#ifdef _WIN32
// Installed, the programs lie in a folder of their own and run in the
// shop's working folder, which every session may write to: the Pontex
// started is the one beside the relauncher, never one dropped into the
// current folder.
TEST_F(Relance, PontexPrisACoteDuRelanceurJamaisDansLeDossierCourant) {
  fs::create_directory("programmes");
  fs::copy_file(RELVANO_PROGRAMME, "programmes/relvano.exe");
  programme_ = fs::path("programmes") / "relvano.exe";
  installe_pontex();  // into the current folder
  EXPECT_EQ(lance({}, environnement(), false), -1);
  EXPECT_FALSE(fs::exists("marqueur"));

  fs::copy_file(PONTEX_MARQUEUR_ESSAI, "programmes/Pontex.exe");
  EXPECT_GE(lance({}, environnement(), true), 1990);
  QTest::qWait(300);
  const std::string m = lit_octets("marqueur");
  const fs::path lance_par = m.substr(m.find(' ', m.find(' ', 2) + 1) + 1);
  EXPECT_EQ(lance_par.parent_path().filename(), "programmes") << m;
}

// The relauncher's own restriction, in this process: a DLL asked for by
// name is no longer looked for in the current folder.
TEST(ChargementDll, JamaisDuDossierCourantUneFoisRestreint) {
  DossierTemporaire dossier;
  const fs::path source =
      fs::path(QCoreApplication::applicationDirPath().toStdWString()) / "libwinpthread-1.dll";
  ASSERT_TRUE(fs::exists(source));
  fs::copy_file(source, "pontex_deposee.dll");
  // Found there before: the copy is where the old search order looks (as
  // data, so that the test itself runs none of its code).
  HMODULE avant = ::LoadLibraryExW(L"pontex_deposee.dll", nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(avant, nullptr);
  ::FreeLibrary(avant);
  pontex::fenetres::restreint_chargement_dll();
  EXPECT_EQ(::LoadLibraryExW(L"pontex_deposee.dll", nullptr, 0), nullptr);
  EXPECT_EQ(::LoadLibraryW(L"pontex_deposee.dll"), nullptr);
  // The system's own DLLs still load.
  EXPECT_NE(::LoadLibraryW(L"version.dll"), nullptr);
}
#endif

TEST_F(Relance, SansPontexSeTermineQuandMeme) {
  EXPECT_EQ(lance({}, environnement(), false), -1);
  EXPECT_GE(duree_, 1990);
  EXPECT_FALSE(fs::exists("marqueur"));
}

}  // namespace
}  // namespace relvano

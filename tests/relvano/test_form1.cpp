// The splash driven in-process: where it stands, what it shows, and the one
// start of Pontex two seconds after the load.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "relvano/form1.h"
#include "tests/support/dossier_temporaire.h"

namespace relvano {
namespace {

namespace fs = std::filesystem;
using pontex::Fenetre_lancement;
using pontex::test::DossierTemporaire;

class Splash : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::vector<std::string> evenements_;

  Systeme systeme() {
    return Systeme{
        [this](std::string_view nom, Fenetre_lancement mode) {
          evenements_.push_back(std::string(nom) +
                                (mode == Fenetre_lancement::normale ? " normale" : " reduite"));
          return pontex::Resultat::echec("not started by the tests");
        },
        [this](int code) { evenements_.push_back("fin " + std::to_string(code)); },
    };
  }
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
  EXPECT_EQ(f.Label1->font().pointSizeF(), 14.25);
  EXPECT_EQ(f.Label1->mapTo(&f, QPoint(0, 0)), QPoint(3 + 18, 3 + 18));
  EXPECT_EQ(f.Label1->size(), QSize(165, 23));
  EXPECT_EQ(f.Label1->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(Splash, ImageASaTaillePropreOuAbsente) {
  {
    Form1 f(systeme(), Fenetre_lancement::normale);
    f.Form_Load();
    EXPECT_TRUE(f.Image1->pixmap().isNull());
    EXPECT_EQ(f.Image1->pos(), QPoint(38, 60));
  }
  fs::copy_file(fs::path(PONTEX_DOSSIER_BIN) / "qz_img_024.gif", "qz_img_024.gif");
  Form1 f(systeme(), Fenetre_lancement::normale);
  f.Form_Load();
  EXPECT_EQ(f.Image1->pixmap().size(), QSize(117, 82));
  EXPECT_EQ(f.Image1->geometry(), QRect(38, 60, 117, 82));
}

TEST_F(Splash, UnSeulDemarrageAuPremierTop) {
  // Pontex is started the way the relauncher itself was started; the count
  // of two seconds runs from the load (its timing is checked on the real
  // program).
  for (const Fenetre_lancement mode :
       {Fenetre_lancement::normale, Fenetre_lancement::reduite_sans_focus}) {
    evenements_.clear();
    Form1 f(systeme(), mode);
    EXPECT_FALSE(f.Timer1->isActive());
    f.Form_Load();
    f.affiche();
    EXPECT_EQ(static_cast<bool>(f.windowState() & Qt::WindowMinimized),
              mode == Fenetre_lancement::reduite_sans_focus);
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 2000);
    EXPECT_TRUE(evenements_.empty());
    f.Timer1_Timer();
    // The end was recorded, not carried out: the timer must not tick again.
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(evenements_,
              (std::vector<std::string>{
                  mode == Fenetre_lancement::normale ? "Pontex.exe normale" : "Pontex.exe reduite",
                  "fin 0"}));
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

}  // namespace
}  // namespace relvano

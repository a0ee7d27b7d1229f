// Main window texts in front, countdowns following their captions.

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

#include "tests/support/fenetres_test.h"

namespace pontex::test {
namespace {

// Dark pixels in the control's box: none when something opaque lies in front of its text.
int pixels_sombres(const QImage& fenetre, const QWidget* w) {
  int n = 0;
  const QRect r = w->geometry().intersected(fenetre.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) n += qGray(fenetre.pixel(x, y)) < 96;
  }
  return n;
}

TEST(Fenetre, ChaqueTexteSeVoitDevantSonFond) {
  GardeModales garde;
  Boutique b(DepartPontex{});
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.Form_Load();
  f.Label12->setText("30");
  const QImage image = f.grab().toImage();
  int vus = 0;
  for (const QLabel* l : f.findChildren<QLabel*>()) {
    if (l->isHidden() || l->text().isEmpty() || l->parentWidget() != &f) continue;
    EXPECT_GT(pixels_sombres(image, l), 0) << l->text().toStdString();
    ++vus;
  }
  // The headings, the register's folder and count, the countdown block,
  // the stop zone's text and the last exchange.
  EXPECT_EQ(vus, 13);
}

class Compteurs : public ::testing::Test {
 protected:
  explicit Compteurs(std::string tim_ana = "30") : b(DepartPontex{.tim_ana = std::move(tim_ana)}) {}
  void SetUp() override {
    p.fenetre->Form_Load();
    // Only the test's ticks move the countdowns.
    f().Timer1->met_intervalle(3600000);
  }
  fenetres::Form1& f() { return *p.fenetre; }
  bool redemarre() const { return p.systeme.terminaisons == 1; }
  // Ticks Timer2 until the restart (at most `n` times); the captions shown.
  std::vector<QString> jusqu_au_redemarrage(int n) {
    std::vector<QString> legendes;
    for (int i = 0; i < n && !redemarre(); ++i) {
      f().Timer2_Timer();
      legendes.push_back(f().Label12->text());
    }
    return legendes;
  }

  GardeModales garde;
  Boutique b;
  Processus p;
};

TEST_F(Compteurs, UneLegendeEcriteDuDehorsCompteDesLeTopSuivant) {
  f().Timer1_Timer();
  ASSERT_EQ(f().Label9->text(), "04");
  // The exchange at once, as from a support session: "1" left on the caption.
  f().Label9->setText("1");
  f().Timer1_Timer();
  EXPECT_EQ(f().Label9->text(), "-");
  EXPECT_EQ(f().Timer1->intervalle(), 0);
  ASSERT_EQ(f().Label12->text(), "30");
  f().Timer2_Timer();
  ASSERT_EQ(f().Label12->text(), "29");
  // A shorter wait written over the countdown: it goes on from there, once.
  f().Label12->setText("3");
  EXPECT_EQ(jusqu_au_redemarrage(10), (std::vector<QString>{"02", "01", "00"}));
  EXPECT_TRUE(redemarre());
}

class CompteursDecimaux : public Compteurs {
 protected:
  CompteursDecimaux() : Compteurs("2.5") {}
};

TEST_F(CompteursDecimaux, LeDelaiSeDecompteEnMinutesEntieres) {
  for (int i = 0; i < 5; ++i) f().Timer1_Timer();
  ASSERT_EQ(f().Label12->text(), "2.5");
  // The caption shows whole minutes from the first tick, and the count goes on from what it shows.
  EXPECT_EQ(jusqu_au_redemarrage(10), (std::vector<QString>{"02", "01", "00"}));
  EXPECT_TRUE(redemarre());
}

}  // namespace
}  // namespace pontex::test

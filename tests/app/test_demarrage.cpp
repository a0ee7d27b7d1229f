// Start-up of the main window: what it shows, what it arms, and what it
// does when the cash-register folder holds no cash-register data.

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "pontex/app/boite_fichiers.h"
#include "pontex/app/controles.h"
#include "pontex/app/inter_logg.h"
#include "tests/app/fenetres_test.h"

namespace pontex::test {
namespace {

using fenetres::form97;
using fenetres::outils;

std::vector<QString> noms(const QListWidget* liste) {
  std::vector<QString> n;
  for (int i = 0; i < liste->count(); ++i) n.push_back(liste->item(i)->text());
  return n;
}

TEST(Demarrage, ArmeLeCompteAReboursEtMontreLeRegistre) {
  GardeModales garde;
  Boutique b;
  for (const char* f : {"transit/import/b.txt", "transit/import/a.txt", "transit/import/c.old",
                        "transit/export/stock_1.txt", "transit/export/ventes_1.txt"}) {
    ecrit_octets(b.chemin(f), "");
  }
  Processus p;
  p.fenetre->Form_Load();
  const fenetres::Form1& f = *p.fenetre;

  // The journal stamp carries the minutes: 14:05:37 on 3 February.
  EXPECT_EQ(p.journal(), std::vector<QString>{"03-02 14:05:37 - Démarrage"});
  EXPECT_EQ(f.List1->currentRow(), 0);
  EXPECT_EQ(f.Label5->text(), QString::fromStdString(b.caisse()));
  EXPECT_EQ(f.Label7->text(), "20");
  EXPECT_EQ(noms(f.File1), (std::vector<QString>{"a.txt", "b.txt"}));
  EXPECT_EQ(noms(f.File2), std::vector<QString>{"stock_1.txt"});
  EXPECT_EQ(f.Label9->text(), "5");
  EXPECT_EQ(f.Timer1->intervalle(), 1000);
  EXPECT_EQ(f.Label12->text(), "");
  EXPECT_EQ(f.Timer2->intervalle(), 0);
  EXPECT_EQ(f.Label18->text(), "");
  EXPECT_FALSE(f.windowState() & Qt::WindowMinimized);
  EXPECT_EQ(p.programme.saut_ligne, "\r\n");
  EXPECT_TRUE(p.systeme.demarrages.empty());
  EXPECT_EQ(p.systeme.terminaisons, 0);
}

TEST(Demarrage, SansDonneesDeCaisseAvertitPuisOuvreLeParametrage) {
  GardeModales garde;
  Boutique b(/*avec_registre=*/false);
  std::vector<std::string> ordre;
  QString avis;
  bool un_seul_bouton = false;
  form97::prevoit_action([&](form97& d) {
    ordre.push_back("avis");
    avis = d.Label1->text();
    un_seul_bouton = d.bt_no->isHidden() && !d.bt_oui->isHidden();
    d.Form_KeyPress(13);
  });
  QString texte_parametrage;
  outils::prevoit_action([&](outils& o) {
    ordre.push_back("outils");
    texte_parametrage = o.Text1->toPlainText();
    o.done(0);
  });
  Processus p;
  p.fenetre->Form_Load();
  const fenetres::Form1& f = *p.fenetre;

  EXPECT_EQ(ordre, (std::vector<std::string>{"avis", "outils"}));
  // The sentence, an empty line, the folder with its backslash.
  EXPECT_EQ(avis, "Aucune donnée de caisse dans le repertoire indiqué !\n\n" +
                      QString::fromStdString(b.caisse()));
  EXPECT_TRUE(un_seul_bouton);
  EXPECT_TRUE(texte_parametrage.startsWith("#TRANSIT#"));
  EXPECT_EQ(p.programme.code_message, -1);
  EXPECT_TRUE(p.programme.dialogue.message.isEmpty());
  // Nothing armed: no exchange in this process.
  EXPECT_EQ(p.journal(), std::vector<QString>{"03-02 14:05:37 - Démarrage"});
  EXPECT_EQ(f.Label9->text(), "");
  EXPECT_EQ(f.Timer1->intervalle(), 0);
  EXPECT_EQ(f.Timer2->intervalle(), 0);
  EXPECT_EQ(f.File1->count(), 0);
  EXPECT_EQ(f.File2->count(), 0);
  EXPECT_EQ(p.systeme.terminaisons, 0);
}

TEST(Demarrage, UneDemandeDeDemarrageReduitNeChangePasLeMode) {
  GardeModales garde;
  Boutique b;
  qputenv("PONTEX_DEMARRAGE_REDUIT", "1");
  Processus p;
  p.fenetre->Form_Load();
  EXPECT_TRUE(p.fenetre->windowState() & Qt::WindowMinimized);
  EXPECT_EQ(p.fenetre->Label18->text(), "");
  // Not passed on to what this process starts later.
  EXPECT_FALSE(qEnvironmentVariableIsSet("PONTEX_DEMARRAGE_REDUIT"));
}

TEST(Journal, LaDerniereLigneEstSelectionneeEtVisible) {
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.show();
  for (int i = 0; i < 3000; ++i) f.ajoute_journal("2.00 x CAF\311 MOULU 250G");
  f.ajoute_journal("A");  // unsorted: in the order written
  QCoreApplication::processEvents();
  ASSERT_EQ(f.List1->count(), 3001);
  EXPECT_EQ(f.List1->item(2999)->text(), "03-02 14:05:37 - 2.00 x CAFÉ MOULU 250G");
  EXPECT_EQ(f.List1->item(3000)->text(), "03-02 14:05:37 - A");
  EXPECT_EQ(f.List1->currentRow(), 3000);
  EXPECT_TRUE(f.List1->item(3000)->isSelected());
  EXPECT_TRUE(f.List1->viewport()->rect().contains(f.List1->visualItemRect(f.List1->item(3000))));
}

TEST(Fenetre, ZoneDeClicControlesDeTestEtOrdreDeTabulation) {
  GardeModales garde;
  Boutique b;
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  EXPECT_EQ(f.size(), QSize(1018, 710));
  EXPECT_EQ(f.List1->geometry(), QRect(526, 34, 479, 580));
  // The click zone is in front of everything it covers.
  for (QWidget* couvert : std::initializer_list<QWidget*>{f.bt_stop, f.Label10, f.Label9})
    EXPECT_EQ(f.childAt(couvert->geometry().center()), f.Label11);
  EXPECT_EQ(f.childAt(f.bt_outils->geometry().center()), f.bt_outils);

  // The test controls lie beyond the right edge, out of reach.
  for (QWidget* test :
       std::initializer_list<QWidget*>{f.List2, f.Command1, f.Command2, f.Command3}) {
    EXPECT_GE(test->x(), f.width());
    EXPECT_EQ(test->focusPolicy(), Qt::NoFocus);
  }

  // Tab goes round the three lists only, the journal first.
  f.Form_Load();
  f.montre();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  EXPECT_EQ(QApplication::focusWidget(), f.List1);
  std::vector<QWidget*> tour;
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    tour.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(tour, (std::vector<QWidget*>{f.File1, f.File2, f.List1}));
}

}  // namespace
}  // namespace pontex::test

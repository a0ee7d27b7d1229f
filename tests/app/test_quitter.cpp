// Quitting from the main window and the background mode: the question, its
// four ways of being answered, the window manager's close, and the choice
// kept in the window-state store.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "pontex/app/controles.h"
#include "pontex/app/inter_logg.h"
#include "tests/app/fenetres_test.h"

namespace pontex::test {
namespace {

using fenetres::form97;

const QString question_sortie =
    "Confirmer la sortie du logiciel, l'envoi de données sera désactivée jusqu'au prochain "
    "lancement ?";
const QString question_fond =
    "Voulez vous que le logiciel fonctionne en tache de fond (Dans la barre des taches) ?";

struct CasSortie {
  Geste reponse;
  bool sort;
  bool par_gestionnaire;  // asked by the window manager's close
};

class Sortie : public ::testing::TestWithParam<CasSortie> {};

TEST_P(Sortie, LaQuestionDecide) {
  GardeModales garde;
  Boutique b;
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.Form_Load();
  f.montre();
  f.Timer1_Timer();
  // Still counting, but never ticking during the test.
  f.Timer1->met_intervalle(3600000);
  QString posee;
  bool deux_boutons = false;
  form97::prevoit_action([&](form97& d) {
    posee = d.Label1->text();
    deux_boutons = !d.bt_oui->isHidden() && !d.bt_no->isHidden();
    repond(d, GetParam().reponse);
  });
  if (GetParam().par_gestionnaire) {
    ferme_par_gestionnaire(f);
  } else {
    QTest::mouseClick(f.bt_fin, Qt::LeftButton);
  }
  EXPECT_EQ(posee, question_sortie);
  EXPECT_TRUE(deux_boutons);
  EXPECT_TRUE(p.systeme.demarrages.empty());  // quitting never restarts
  if (GetParam().sort) {
    EXPECT_EQ(p.systeme.terminaisons, 1);
    EXPECT_FALSE(p.programme.valeurs.caisse.articles_ouverts());
    EXPECT_FALSE(f.isVisible());
  } else {
    // Everything as it was, countdown included.
    EXPECT_EQ(p.systeme.terminaisons, 0);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Timer1->intervalle(), 3600000);
    EXPECT_EQ(f.Label9->text(), "04");
  }
}

INSTANTIATE_TEST_SUITE_P(Reponses, Sortie,
                         ::testing::Values(CasSortie{Geste::clic_oui, true, false},
                                           CasSortie{Geste::clic_non, false, false},
                                           CasSortie{Geste::entree, true, false},
                                           CasSortie{Geste::echap, false, false},
                                           CasSortie{Geste::entree, true, true},
                                           CasSortie{Geste::echap, false, true}));

// Bytes of the store's value field for its first entry ("" when absent).
std::string valeur_stockee() {
  const std::string octets = lit_octets("W_intlog.wdo");
  if (octets.size() < 256) return "";
  return octets.substr(128 + 23, 40);
}

TEST(TacheDeFond, OuiPuisNonEtLeDemarrageSuivant) {
  GardeModales garde;
  Boutique b;
  {
    Processus p;
    p.fenetre->Form_Load();
    QString posee;
    form97::prevoit_action([&](form97& d) {
      posee = d.Label1->text();
      repond(d, Geste::clic_oui);
    });
    QTest::mouseClick(p.fenetre->Image3, Qt::LeftButton);
    EXPECT_EQ(posee, question_fond);
    EXPECT_EQ(valeur_stockee(), "OUI" + std::string(37, ' '));
    EXPECT_EQ(p.fenetre->Label18->text(), "1");
    EXPECT_TRUE(p.fenetre->windowState() & Qt::WindowMinimized);
  }
  {
    // The next start is minimised and restarts minimised; any answer but
    // yes turns the mode off, and the window goes to the taskbar anyway.
    Processus p;
    p.fenetre->Form_Load();
    EXPECT_EQ(p.fenetre->Label18->text(), "1");
    EXPECT_TRUE(p.fenetre->windowState() & Qt::WindowMinimized);
    p.fenetre->setWindowState(Qt::WindowNoState);
    form97::prevoit_action([](form97& d) { repond(d, Geste::echap); });
    p.fenetre->Image3_Click();
    EXPECT_EQ(valeur_stockee(), std::string(40, ' '));
    EXPECT_EQ(p.fenetre->Label18->text(), "");
    EXPECT_TRUE(p.fenetre->windowState() & Qt::WindowMinimized);
  }
  Processus p;
  p.fenetre->Form_Load();
  EXPECT_EQ(p.fenetre->Label18->text(), "");
  EXPECT_FALSE(p.fenetre->windowState() & Qt::WindowMinimized);
}

TEST(TacheDeFond, UnMagasinImpossibleAEcrireGardeLeModeStocke) {
  GardeModales garde;
  Boutique b;
  ASSERT_TRUE(ecrit_logg("POSIFEN", "OUI"));
  Processus p;
  p.fenetre->Form_Load();
  {
    EchecInjecte echec([](Operation op, std::string_view chemin) {
      return op == Operation::ecriture && chemin.find("W_intlog") != std::string_view::npos;
    });
    form97::prevoit_action([](form97& d) { repond(d, Geste::clic_non); });
    p.fenetre->Image3_Click();
  }
  // Off was asked for, but the store still says on: the label says so too,
  // as the next start will.
  EXPECT_EQ(valeur_stockee(), "OUI" + std::string(37, ' '));
  EXPECT_EQ(p.fenetre->Label18->text(), "1");
  EXPECT_TRUE(p.fenetre->windowState() & Qt::WindowMinimized);
}

}  // namespace
}  // namespace pontex::test

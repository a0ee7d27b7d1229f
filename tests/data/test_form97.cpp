// The message dialog: one or two buttons, the answer in the dialog mode,
// Enter and Escape, the window manager's close, and the notice for a
// folder without cash-register data.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "pontex/app/controles.h"
#include "tests/app/fenetres_test.h"

namespace pontex::test {
namespace {

using fenetres::form97;
using fenetres::ValeursDialogue;

struct CasDialogue {
  std::int32_t mode;
  std::function<void(form97&)> geste;
  std::int32_t reponse;
};

void entree(form97& d) { QTest::keyClick(&d, Qt::Key_Return); }
void pave_entree(form97& d) { QTest::keyClick(&d, Qt::Key_Enter); }
void echap(form97& d) { QTest::keyClick(&d, Qt::Key_Escape); }
void clic_oui(form97& d) { QTest::mouseClick(d.bt_oui, Qt::LeftButton); }
void clic_non(form97& d) { QTest::mouseClick(d.bt_no, Qt::LeftButton); }
void fermeture(form97& d) { ferme_par_gestionnaire(d); }

TEST(Dialogue, ChaqueGesteDonneSaReponse) {
  GardeModales garde;
  const std::vector<CasDialogue> cas = {
      {4, entree, 6},    {4, pave_entree, 6}, {4, echap, 7}, {4, clic_oui, 6}, {4, clic_non, 7},
      {4, fermeture, 7}, {0, entree, 6},      {0, echap, 7}, {0, clic_oui, 6}, {0, fermeture, 7},
  };
  for (std::size_t i = 0; i < cas.size(); ++i) {
    SCOPED_TRACE(i);
    ValeursDialogue v{cas[i].mode, "Une question ?"};
    bool bouton_non = false;
    form97::prevoit_action([&](form97& d) {
      bouton_non = !d.bt_no->isHidden();
      cas[i].geste(d);
    });
    form97::montre(v);
    EXPECT_EQ(v.mode, cas[i].reponse);
    EXPECT_TRUE(v.message.isEmpty());
    EXPECT_EQ(bouton_non, cas[i].mode == 4);
  }
}

TEST(Dialogue, LesAutresTouchesNeRepondentPas) {
  GardeModales garde;
  ValeursDialogue v{4, "Question"};
  bool encore_ouvert = false;
  form97::prevoit_action([&](form97& d) {
    QTest::keyClick(&d, Qt::Key_A);
    QTest::keyClick(&d, Qt::Key_Space);
    encore_ouvert = d.isVisible();
    d.Form_KeyPress(27);
  });
  form97::montre(v);
  EXPECT_TRUE(encore_ouvert);
  EXPECT_EQ(v.mode, 7);
}

TEST(Dialogue, ChaqueAffichageRepartDeZero) {
  GardeModales garde;
  ValeursDialogue v{4, "Premier"};
  form97::prevoit_action([](form97& d) { d.Form_KeyPress(13); });
  form97::montre(v);
  // A notice right after a question has one button again.
  v.mode = 0;
  v.message = "Second\r\nligne";
  QString texte, titre;
  bool bouton_non = true;
  QSize taille;
  form97::prevoit_action([&](form97& d) {
    texte = d.Label1->text();
    titre = d.Label2->text();
    bouton_non = !d.bt_no->isHidden();
    taille = d.size();
    d.Form_KeyPress(13);
  });
  form97::montre(v);
  EXPECT_FALSE(bouton_non);
  EXPECT_EQ(texte, "Second\nligne");
  EXPECT_EQ(titre, "Vorlane");
  EXPECT_EQ(taille, QSize(402, 370));
}

TEST(Dialogue, RoutineDeMessage) {
  GardeModales garde;
  ValeursDialogue v{4, ""};
  QString texte;
  form97::prevoit_action([&](form97& d) {
    texte = d.Label1->text();
    d.Form_KeyPress(27);
  });
  fenetres::affiche_message(-1, v, "\r\n",
                            "C:\\Caisse\\Donn\xE9"
                            "es\\");
  EXPECT_EQ(texte, "Aucune donnée de caisse dans le repertoire indiqué !\n\nC:\\Caisse\\Données\\");
  // Any other code shows nothing (the guard would fail the test).
  v.mode = 4;
  fenetres::affiche_message(0, v, "\r\n", "x\\");
  fenetres::affiche_message(1, v, "\r\n", "x\\");
  EXPECT_EQ(v.mode, 4);
  EXPECT_TRUE(garde.inattendues.empty());
}

}  // namespace
}  // namespace pontex::test

// One process's countdown, exchange, restart countdown and restart, tick by tick.

#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>

#include <QLabel>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <chrono>

#include "pontex/app/modele_journal.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/verrou.h"
#include "tests/support/fenetres_test.h"

namespace pontex::test {
namespace {

using fenetres::form97;
using fenetres::outils;

class Cycle : public ::testing::Test {
 protected:
  explicit Cycle(std::string tim_ana = "30") : b(DepartPontex{.tim_ana = std::move(tim_ana)}) {}
  void SetUp() override {
    // A finished movement file, there before the start: listed from the start-up on.
    stock_avant = b.stock(2);
    b.depose("mvt.txt", b.reference(2) + "\t3\n");
    p.fenetre->Form_Load();
    // The countdown runs, but only the test's ticks move it.
    ASSERT_EQ(f().Timer1->intervalle(), 1000);
    f().Timer1->met_intervalle(3600000);
  }

  void termine_le_compte_a_rebours() {
    for (int i = 0; i < 5; ++i) f().Timer1_Timer();
  }
  fenetres::Form1& f() { return *p.fenetre; }
  // The periodic restart never takes the focus from the till.
  bool a_redemarre(Fenetre_lancement fenetre = Fenetre_lancement::sans_focus) {
    return p.systeme.demarrages.size() == 1 && p.systeme.demarrages[0].nom == "relvano.exe" &&
           p.systeme.demarrages[0].fenetre == fenetre && p.systeme.terminaisons == 1;
  }
  bool intact() { return p.systeme.demarrages.empty() && p.systeme.terminaisons == 0; }

  GardeModales garde;
  Boutique b;
  Processus p;
  float stock_avant = 0;
};

TEST_F(Cycle, LeCompteAReboursPuisLeCycleImportExport) {
  std::vector<QString> legendes;
  for (int i = 0; i < 4; ++i) {
    f().Timer1_Timer();
    legendes.push_back(f().Label9->text());
  }
  EXPECT_EQ(legendes, (std::vector<QString>{"04", "03", "02", "01"}));
  EXPECT_NE(f().Timer1->intervalle(), 0);
  EXPECT_EQ(p.journal().size(), 1u);
  f().Timer1_Timer();
  EXPECT_EQ(f().Label9->text(), "-");
  EXPECT_EQ(f().Timer1->intervalle(), 0);
  EXPECT_EQ(f().Label12->text(), "30");
  EXPECT_EQ(f().Timer2->intervalle(), 60000);
  // The journal shows the cycle, its last line selected; the movement reached
  // the register once; the file lists show the result.
  EXPECT_EQ(p.journal()[1], "03-02 14:05:37 - Traitement : mvt.txt");
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Export généré");
  EXPECT_EQ(f().List1->currentIndex().row(), f().modele_journal->rowCount() - 1);
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant + 3);
  EXPECT_EQ(f().File1->count(), 0);
  ASSERT_EQ(f().File2->count(), 1);
  EXPECT_EQ(f().File2->item(0)->text(), "stock_20260203140537.txt");
  EXPECT_TRUE(intact());
}

TEST_F(Cycle, RedemarreQuandLeDelaiEstEcoule) {
  termine_le_compte_a_rebours();
  for (int attendu = 29; attendu >= 1; --attendu) {
    f().Timer2_Timer();
    ASSERT_EQ(f().Label12->text(),
              QString::fromStdString(attendu < 10 ? "0" : "") + QString::number(attendu));
    ASSERT_TRUE(intact());
  }
  f().Timer2_Timer();
  EXPECT_EQ(f().Label12->text(), "00");
  EXPECT_TRUE(a_redemarre());
  EXPECT_TRUE(p.programme.fini());
  // Files closed before the process ends.
  EXPECT_FALSE(p.programme.valeurs.caisse.articles_ouverts());
  // Nothing more happens in an ended process.
  f().Timer2_Timer();
  EXPECT_EQ(p.systeme.terminaisons, 1);
}

TEST_F(Cycle, EnTacheDeFondLeRelanceurDemarreReduit) {
  termine_le_compte_a_rebours();
  f().Label18->setText("1");
  f().Label12->setText("1");
  f().Timer2_Timer();
  EXPECT_TRUE(a_redemarre(Fenetre_lancement::reduite_sans_focus));
}

struct DelaiCourt {
  const char* tim_ana;
  const char* premiere_legende;
};

class CycleDelai : public Cycle, public ::testing::WithParamInterface<DelaiCourt> {
 protected:
  CycleDelai() : Cycle(GetParam().tim_ana) {}
};

TEST_P(CycleDelai, LePremierTopRedemarre) {
  termine_le_compte_a_rebours();
  EXPECT_EQ(f().Label12->text(), GetParam().tim_ana);
  f().Timer2_Timer();
  EXPECT_EQ(f().Label12->text(), GetParam().premiere_legende);
  EXPECT_TRUE(a_redemarre());
}

INSTANTIATE_TEST_SUITE_P(Delais, CycleDelai,
                         ::testing::Values(DelaiCourt{"1", "00"}, DelaiCourt{"", "-01"},
                                           DelaiCourt{"0", "-01"}, DelaiCourt{"-3", "-04"},
                                           DelaiCourt{"abc", "-01"}));

TEST_F(Cycle, LesMinuteursBattentSeuls) {
  // The real timers drive the same handlers: short intervals, bounded wait.
  f().Timer1->met_intervalle(5);
  EXPECT_TRUE(QTest::qWaitFor([&] { return f().Label12->text() == "30"; }, 10000));
  f().Label12->setText("2");
  f().Timer2->met_intervalle(5);
  EXPECT_TRUE(QTest::qWaitFor([&] { return p.systeme.terminaisons > 0; }, 10000));
  EXPECT_TRUE(a_redemarre());
  EXPECT_EQ(f().Label12->text(), "00");
}

TEST_F(Cycle, LaZoneDeClicArreteLeDemarragePourDeBon) {
  f().Timer1_Timer();
  // A click over the stop picture lands on the zone in front of it.
  const QPoint sur_bt_stop = f().Label11->mapFromParent(f().bt_stop->geometry().center());
  QTest::mouseClick(f().Label11, Qt::LeftButton, {}, sur_bt_stop);
  EXPECT_EQ(f().Timer1->intervalle(), 0);
  EXPECT_EQ(f().Label9->text(), "-");
  EXPECT_TRUE(f().Label9->isHidden());
  QTest::qWait(30);
  EXPECT_EQ(f().Label12->text(), "");
  EXPECT_EQ(f().Timer2->intervalle(), 0);
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Procedure d'import / export stoppée");
  EXPECT_EQ(p.journal().size(), 2u);
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant);
}

TEST_F(Cycle, LaZoneDeClicApresLeCycleLaisseLeRedemarrage) {
  termine_le_compte_a_rebours();
  f().Label11_Click();
  EXPECT_TRUE(f().Label9->isHidden());
  EXPECT_EQ(f().Timer2->intervalle(), 60000);
  EXPECT_EQ(f().Label12->text(), "30");
}

TEST_F(Cycle, Command3RedemarreCinqTopsPlusTardSansCycle) {
  f().Command3_Click();
  EXPECT_EQ(f().Label12->text(), "5");
  EXPECT_EQ(f().Timer2->intervalle(), 1000);
  EXPECT_EQ(f().Timer1->intervalle(), 0);
  for (int i = 0; i < 4; ++i) f().Timer2_Timer();
  EXPECT_TRUE(intact());
  f().Timer2_Timer();
  EXPECT_TRUE(a_redemarre());
  EXPECT_EQ(p.journal().size(), 1u);
}

TEST_F(Cycle, LesBoutonsDeTest) {
  // Command2 applies a working file put in the current directory by hand.
  ecrit_octets(b.chemin("prov_stk_ana_ron.txt"), b.reference(4) + "\t2\n");
  const float avant = b.stock(4);
  QTest::mouseClick(f().Command2, Qt::LeftButton);
  EXPECT_FLOAT_EQ(b.stock(4), avant + 2);
  EXPECT_FALSE(std::filesystem::exists(b.chemin("prov_stk_ana_ron.txt")));
  // Command1 writes five sales into the import folder; the import list
  // shows the new file next to the one already waiting.
  QTest::mouseClick(f().Command1, Qt::LeftButton);
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Ventes générées");
  ASSERT_EQ(f().File1->count(), 2);
  EXPECT_EQ(f().File1->item(1)->text(), "ventes_20260203140537.txt");
  const std::string ventes = lit_octets(b.chemin("transit/import/ventes_20260203140537.txt"));
  EXPECT_EQ(std::count(ventes.begin(), ventes.end(), '\n'), 5);
  EXPECT_TRUE(intact());
}

TEST_F(Cycle, LeParametrageArreteLeCompteARebours) {
  f().Timer1_Timer();
  int intervalle_pendant = -1;
  outils::prevoit_action([&](outils& o) {
    intervalle_pendant = f().Timer1->intervalle();
    o.done(0);
  });
  f().bt_outils_Click();
  EXPECT_EQ(intervalle_pendant, 0);
  EXPECT_EQ(f().Timer1->intervalle(), 0);
  // The value reached stays; no exchange in this process.
  EXPECT_EQ(f().Label9->text(), "04");
  EXPECT_TRUE(intact());
}

// Settings typed and not saved hold the restart back: it waits, says so, and goes once they are
// undone or the window is left; saved, they restart the program once, as saving does.
class RelanceSousParametrage : public Cycle, public ::testing::WithParamInterface<const char*> {
 protected:
  bool est(const char* fin) const { return std::string_view(GetParam()) == fin; }
};

TEST_P(RelanceSousParametrage, AttendLesModificationsNonEnregistrees) {
  termine_le_compte_a_rebours();
  f().Label12->setText("1");
  bool attend = false, signale = false;
  outils::prevoit_action([&](outils& o) {
    // Unedited, the window holds nothing back: only an edit does.
    EXPECT_FALSE(p.programme.parametrage_modifie);
    o.Text1->appendPlainText("#NUMPOST#7");
    f().Timer2_Timer();
    f().Timer2_Timer();  // later ticks go on waiting
    attend = intact();
    signale =
        o.label_attente_relance->isVisibleTo(&o) && f().label_attente_relance->isVisibleTo(&f());
    if (est("annule")) {
      o.Text1->document()->undo();
      QCoreApplication::processEvents();
      // Nothing left to lose: the restart goes, under the window as before.
      EXPECT_EQ(p.systeme.terminaisons, 1);
    } else if (est("quitte")) {
      o.done(0);
    } else {
      o.bt_fin_Click();
    }
    if (!p.programme.fini()) o.done(0);  // never left open on a failure
  });
  f().bt_outils_Click();
  QCoreApplication::processEvents();
  EXPECT_TRUE(attend);
  EXPECT_TRUE(signale);
  ASSERT_EQ(p.systeme.demarrages.size(), 1u);
  EXPECT_EQ(p.systeme.demarrages[0].nom, "relvano.exe");
  EXPECT_EQ(p.systeme.terminaisons, 1);
  const auto journal = p.journal();
  const auto lignes = [&](const char* ligne) {
    return std::count(journal.begin(), journal.end(), QString::fromUtf8(ligne));
  };
  EXPECT_EQ(lignes("03-02 14:05:37 - Relance en attente : paramétrage non enregistré"), 1);
  if (est("enregistre")) {
    EXPECT_EQ(p.systeme.demarrages[0].fenetre, Fenetre_lancement::normale);
    EXPECT_NE(lit_octets("Pontex.wdo").find("#NUMPOST#7\r\n"), std::string::npos);
  } else {
    EXPECT_EQ(p.systeme.demarrages[0].fenetre, Fenetre_lancement::sans_focus);
    EXPECT_EQ(lignes("03-02 14:05:37 - Relance après l'attente du paramétrage"), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Fins, RelanceSousParametrage,
                         ::testing::Values("annule", "quitte", "enregistre"));

// A relauncher that cannot be started: the program stays, journals why, tells the shop without
// holding the next attempt, and tries again a minute later.
TEST_F(Cycle, UneRelanceImpossibleEstDiteEtReessayee) {
  termine_le_compte_a_rebours();
  std::vector<std::string> raisons;
  p.programme.sur_relance_impossible = [&](const std::string& r) { raisons.push_back(r); };
  p.systeme.refus = "program relvano not found";
  f().Label12->setText("1");
  int avis = 0;
  form97::prevoit_action([&](form97& d) {
    ++avis;
    EXPECT_TRUE(d.findChild<QLabel*>() != nullptr);
    // Under the notice the next attempt still comes, and succeeds.
    p.systeme.refus.clear();
    f().Timer2_Timer();
  });
  f().Timer2_Timer();
  EXPECT_FALSE(p.programme.fini());
  EXPECT_EQ(p.systeme.terminaisons, 0);
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Relance impossible : program relvano not found");
  EXPECT_EQ(raisons, std::vector<std::string>{"program relvano not found"});
  EXPECT_EQ(f().Label12->text(), "01");
  EXPECT_EQ(f().Timer2->intervalle(), 60000);
  // The line is in the journal file at once: the process may never end well.
  EXPECT_NE(lit_octets("journal/pontex_2026-02-03.log").find("Relance impossible"),
            std::string::npos);
  EXPECT_TRUE(QTest::qWaitFor([&] { return p.programme.fini(); }, 5000));
  EXPECT_EQ(avis, 1);
  EXPECT_EQ(p.systeme.demarrages.size(), 2u);
  EXPECT_EQ(p.systeme.terminaisons, 1);
}

// A long application: the window repaints and shows progress; user actions wait for its end.
class LongueApplication : public Cycle {
 protected:
  void SetUp() override {
    Cycle::SetUp();
    f().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f()));
    f().met_intervalle_avancement(std::chrono::milliseconds(0));
  }
  // A movement file of `n` records for article 2.
  std::string mouvements(int n) {
    std::string texte;
    for (int i = 0; i < n; ++i) texte += b.reference(2) + "\t1\n";
    return texte;
  }
  std::int32_t mouvements_enregistres() { return b.mouvement(0).poste(); }
  // Calls `pendant` once, when the view shows `n` lines of the journal.
  void quand_montrees(int n, std::function<void()> pendant) {
    QObject::connect(f().modele_journal, &QAbstractItemModel::rowsInserted, &f(),
                     [this, n, pendant, fait = false]() mutable {
                       if (!fait && f().modele_journal->lignes_montrees() >= n) {
                         fait = true;
                         pendant();
                       }
                     });
  }
  // Press and release on a control, queued as the window system queues them.
  void clic_en_file(QWidget* w) {
    const QPointF local = w->mapTo(&f(), w->rect().center());
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
          f().windowHandle(), local, f().mapToGlobal(local),
          t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, t);
    }
  }
};

TEST_F(LongueApplication, UnClicPendantLeTraitementAgitApresLui) {
  b.depose("mvt.txt", mouvements(200));
  QString avancement;
  quand_montrees(100, [&] {
    avancement = f().modele_journal->index(f().modele_journal->rowCount() - 1).data().toString();
    clic_en_file(f().bt_fin);
  });
  std::int32_t a_la_question = -1;
  form97::prevoit_action([&](form97& d) {
    a_la_question = mouvements_enregistres();
    repond(d, Geste::clic_non);
  });
  termine_le_compte_a_rebours();
  // Halfway, the view showed the lines so far and a count below them.
  EXPECT_TRUE(avancement.startsWith("03-02 14:05:37 - Échange en cours : "))
      << avancement.toStdString();
  // The quit question came once the whole file was applied.
  EXPECT_EQ(a_la_question, 200);
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant + 200);
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Export généré");
  EXPECT_FALSE(f().modele_journal->avancement_montre());
  EXPECT_TRUE(intact());
}

TEST_F(LongueApplication, LeCompteAReboursAttendLaFinDuTraitement) {
  termine_le_compte_a_rebours();
  ASSERT_EQ(f().Label12->text(), "30");
  // The test button applies a working file while the restart countdown runs
  // and ticks: the tick that falls due meanwhile comes after, once.
  ecrit_octets(b.chemin("prov_stk_ana_ron.txt"), mouvements(200));
  f().Timer2->met_intervalle(1);
  QString pendant;
  quand_montrees(150, [&] {
    QTest::qWait(5);  // let a tick fall due
    pendant = f().Label12->text();
  });
  f().Command2_Click();
  const QString apres = f().Label12->text();
  f().Timer2->met_intervalle(0);
  EXPECT_EQ(pendant, "30");
  EXPECT_EQ(apres, "29");
  EXPECT_TRUE(intact());
}

// Ticks and clicks during an exchange's event pause never start a second exchange inside it.
TEST_F(LongueApplication, AucunEchangeNeCommenceDansUnAutre) {
  b.depose("mvt.txt", mouvements(200));
  bool fait = false;
  quand_montrees(100, [&] {
    f().Command2_Click();
    f().Timer1_Timer();
    f().Timer2_Timer();
    fait = true;
  });
  termine_le_compte_a_rebours();
  ASSERT_TRUE(fait);
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant + 200);
  EXPECT_EQ(mouvements_enregistres(), 200);
  int exports = 0;
  for (const QString& ligne : p.journal()) exports += ligne.endsWith(" - Export généré");
  EXPECT_EQ(exports, 1);
  EXPECT_EQ(f().Label12->text(), "30");
  EXPECT_TRUE(intact());
}

// A lock that cannot be taken: no exchange, the file waits, restart as usual; then it runs.
TEST_F(Cycle, SansLeVerrouDuDossierAucunEchange) {
  std::filesystem::create_directory(b.chemin("Pontex.verrou"));
  VerrouDossier verrou;
  p.programme.verrou = &verrou;
  termine_le_compte_a_rebours();
  const std::vector<QString> journal = p.journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_TRUE(
      journal[1].startsWith("03-02 14:05:37 - Le verrou du dossier ne peut pas être pris : "))
      << journal[1].toStdString();
  EXPECT_TRUE(std::filesystem::exists(b.chemin("transit/import/mvt.txt")));
  EXPECT_FALSE(std::filesystem::exists(b.chemin("transit/import/mvt.old")));
  EXPECT_FALSE(std::filesystem::exists(b.chemin("prov_stk_ana_ron.txt")));
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant);
  EXPECT_TRUE(Boutique::fichiers(b.exporte()).empty());
  EXPECT_EQ(f().Label12->text(), "30");
  EXPECT_EQ(f().Timer2->intervalle(), 60000);
  // Monitoring is told why, not that an empty exchange went well.
  const auto refuse = etat_lu(b);
  ASSERT_TRUE(refuse.has_value());
  EXPECT_EQ(refuse->etat, EtatPontex::verrou_refuse);
  EXPECT_TRUE(refuse->raison.starts_with("Le verrou du dossier ne peut pas \u00eatre pris : "))
      << refuse->raison;
  EXPECT_FALSE(refuse->dernier_echange_bon.has_value());
  const Verdict v = verdict_etat(b);
  EXPECT_EQ(v.code, 1) << v.ligne;
  EXPECT_TRUE(v.ligne.starts_with("PONTEX WARNING - folder lock refused: Le verrou")) << v.ligne;
  std::filesystem::remove(b.chemin("Pontex.verrou"));
  f().lance_cycle();
  EXPECT_TRUE(verrou.tenu());
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant + 3);
  EXPECT_FALSE(std::filesystem::exists(b.chemin("transit/import/mvt.txt")));
  EXPECT_TRUE(intact());
  EXPECT_EQ(etat_lu(b)->etat, EtatPontex::echange);
  EXPECT_EQ(verdict_etat(b).code, 0) << verdict_etat(b).ligne;
}

// The import folder gone: no file can be taken, and monitoring says which folder.
TEST_F(Cycle, UnDossierDeTransitAbsentEstDitAuSuivi) {
  std::filesystem::remove_all(b.chemin("transit/import"));
  termine_le_compte_a_rebours();
  const auto e = etat_lu(b);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->etat, EtatPontex::transit_absent);
  EXPECT_TRUE(e->raison.starts_with("Dossier de transit absent : ")) << e->raison;
  EXPECT_TRUE(e->raison.ends_with("import")) << e->raison;
  const Verdict v = verdict_etat(b);
  EXPECT_EQ(v.code, 1) << v.ligne;
  EXPECT_TRUE(
      v.ligne.starts_with("PONTEX WARNING - transit folder missing: Dossier de transit "
                          "absent : "))
      << v.ligne;
  EXPECT_EQ(f().Timer2->intervalle(), 60000);
}

// A status file that cannot be written is said in the journal, and the next one counts it.
TEST_F(Cycle, UnEtatNonEcritEstDitPuisCompte) {
  {
    EchecInjecte e([](Operation op, std::string_view chemin) {
      return op == Operation::renommage && chemin.ends_with("pontex_etat.json");
    });
    termine_le_compte_a_rebours();
  }
  EXPECT_FALSE(etat_lu(b).has_value());
  EXPECT_TRUE(
      p.journal().back().startsWith("03-02 14:05:37 - État non écrit : pontex_etat.json : "))
      << p.journal().back().toStdString();
  f().lance_cycle();
  const auto e = etat_lu(b);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->garanties_non_tenues, 1);
  EXPECT_EQ(e->erreurs + e->refus, 0);
  EXPECT_FALSE(e->dernier_echange_bon.has_value());
  EXPECT_EQ(verdict_etat(b).code, 1) << verdict_etat(b).ligne;
  // Counted once: the one after is good again.
  f().lance_cycle();
  EXPECT_EQ(etat_lu(b)->garanties_non_tenues, 0);
  EXPECT_EQ(verdict_etat(b).code, 0) << verdict_etat(b).ligne;
}

// A restart that cannot be launched ends the program; monitoring is told at once, and why.
TEST_F(Cycle, UneRelanceImpossibleEstDiteAuSuivi) {
  termine_le_compte_a_rebours();
  ASSERT_EQ(verdict_etat(b).code, 0);
  p.systeme.refus = "No such file or directory";
  f().Label12->setText("1");
  f().Timer2_Timer();
  // The program stays and tries again; monitoring sees it stopped meanwhile.
  EXPECT_EQ(p.systeme.terminaisons, 0);
  const auto e = etat_lu(b);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->etat, EtatPontex::relance_impossible);
  EXPECT_EQ(e->raison, "relvano.exe : No such file or directory");
  EXPECT_FALSE(e->prochain_echange.has_value());
  const Verdict v = verdict_etat(b);
  EXPECT_EQ(v.code, 2);
  EXPECT_TRUE(v.ligne.starts_with(
      "PONTEX CRITICAL - restart impossible: relvano.exe : No such file or directory"))
      << v.ligne;
}

// A stop asked by the system (during an exchange: the real program's SIGTERM test).
class ArretSysteme : public Cycle {
 protected:
  void TearDown() override { oublie_arret(); }
};

// While waiting: the program ends at once, says why in its journal file, does not restart.
TEST_F(ArretSysteme, EnAttenteLeProgrammeSArreteSansRedemarrer) {
  termine_le_compte_a_rebours();
  demande_arret();
  f().arret_systeme();
  EXPECT_EQ(p.systeme.terminaisons, 1);
  EXPECT_TRUE(p.systeme.demarrages.empty());
  std::string fichier = lit_octets(b.chemin("journal/pontex_2026-02-03.log"));
#ifdef _WIN32
  // There the journal file is in the ANSI code page, its lines ended with
  // CR LF.
  fichier = fenetres::depuis_1252(fichier).toUtf8().toStdString();
  std::erase(fichier, '\r');
#endif
  EXPECT_NE(fichier.find(" - Export généré\n"), std::string::npos) << fichier;
  EXPECT_TRUE(fichier.ends_with(" - Arrêt demandé par le système\n")) << fichier;
  const auto e = etat_lu(b);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->etat, EtatPontex::arret_systeme);
  // The exchange before the stop was good, and stays the last good one.
  EXPECT_TRUE(e->dernier_echange_bon.has_value());
  const Verdict v = verdict_etat(b);
  EXPECT_EQ(v.code, 1) << v.ligne;
  EXPECT_TRUE(v.ligne.starts_with("PONTEX WARNING - stopped by the system: Arr")) << v.ligne;
}

// Between exchanges the file lists follow the folders by themselves.
TEST_F(Cycle, LesListesSuiventLesDossiersPendantLAttente) {
  termine_le_compte_a_rebours();
  ASSERT_EQ(f().File2->count(), 1);
  const QString exporte = f().File2->item(0)->text();
  ecrit_octets(b.chemin("transit/import/nouveau.txt"), "R\t1\r\n");
  std::filesystem::remove(b.chemin("transit/export/" + exporte.toStdString()));
  const auto a_suivi = [&] {
    return f().File1->count() == 1 && f().File1->item(0)->text() == "nouveau.txt" &&
           f().File2->count() == 0;
  };
  EXPECT_TRUE(QTest::qWaitFor(a_suivi, 6000));
  // Listed, not taken: the file waits for the next exchange as it came.
  EXPECT_EQ(lit_octets(b.chemin("transit/import/nouveau.txt")), "R\t1\r\n");
  EXPECT_FALSE(std::filesystem::exists(b.chemin("transit/import/nouveau.old")));
}

// The journal file holds what the window showed, line for line, by the end at the latest.
TEST_F(Cycle, LeFichierJournalSuitLaFenetreJusquAuRedemarrage) {
  termine_le_compte_a_rebours();
  f().Label12->setText("1");
  f().Timer2_Timer();
  ASSERT_TRUE(a_redemarre());
  std::string attendu;
  for (const QString& ligne : p.journal()) {
    ASSERT_TRUE(ligne.startsWith("03-02 14:05:37 - "));
#ifdef _WIN32
    attendu += "2026-02-03 14:05:37 - " + ligne.mid(17).toLocal8Bit().toStdString() + "\r\n";
#else
    attendu += "2026-02-03 14:05:37 - " + ligne.mid(17).toStdString() + "\n";
#endif
  }
  EXPECT_GE(p.journal().size(), 3u);
  EXPECT_EQ(lit_octets(b.chemin("journal/pontex_2026-02-03.log")), attendu);
}

TEST_F(Cycle, UnFichierJournalImpossibleAEcrireNArretePasLEchange) {
  const QString avis = "Le fichier journal ne peut pas être écrit : ";
  const auto avis_montres = [&] {
    int n = 0;
    for (const QString& ligne : p.journal()) n += ligne.contains(avis);
    return n;
  };
  EchecInjecte e([](Operation, std::string_view chemin) { return chemin.starts_with("journal"); });
  termine_le_compte_a_rebours();
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant + 3);
  EXPECT_EQ(f().Timer2->intervalle(), 60000);
  EXPECT_EQ(avis_montres(), 1);
  // The shop's journal is a guarantee monitoring must see broken.
  const auto etat = etat_lu(b);
  ASSERT_TRUE(etat.has_value());
  EXPECT_EQ(etat->etat, EtatPontex::journal_non_ecrit);
  EXPECT_TRUE(etat->raison.starts_with("Le fichier journal ne peut pas")) << etat->raison;
  EXPECT_EQ(etat->garanties_non_tenues, 1);
  // The exchange ran: its figures are there, but it is not a good one.
  EXPECT_TRUE(etat->dernier_echange.has_value());
  EXPECT_EQ(etat->mouvements_appliques, 1);
  EXPECT_FALSE(etat->dernier_echange_bon.has_value());
  EXPECT_EQ(verdict_etat(b).code, 1) << verdict_etat(b).ligne;
  // Later lines try again, and the window does not say it again.
  f().ajoute_journal_texte("encore");
  f().ecrit_journal();
  EXPECT_EQ(avis_montres(), 1);
  EXPECT_FALSE(std::filesystem::exists(b.chemin("journal/pontex_2026-02-03.log")));
}

// A restart due under the quit question (false) or settings (true) restarts once, answer ignored.
class RedemarrageSousModale : public Cycle, public ::testing::WithParamInterface<bool> {};

TEST_P(RedemarrageSousModale, LeProgrammeRedemarreUneFois) {
  termine_le_compte_a_rebours();
  f().Label12->setText("1");
  const auto laisse_ouvert = [&](QDialog& w) {
    f().Timer2->met_intervalle(10);
    QTimer::singleShot(5000, &w, [&w] { w.done(0); });
  };
  if (GetParam()) {
    outils::prevoit_action(laisse_ouvert);
    f().bt_outils_Click();
  } else {
    form97::prevoit_action(laisse_ouvert);
    f().bt_fin_Click();
  }
  EXPECT_TRUE(a_redemarre());
  for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Fenetres, RedemarrageSousModale, ::testing::Bool());

}  // namespace
}  // namespace pontex::test

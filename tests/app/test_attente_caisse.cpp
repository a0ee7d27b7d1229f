// The main window left to itself: a register away for a moment, restarts, whole labels.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <filesystem>

#include "pontex/data/memoire.h"
#include "tests/support/dossier_temporaire.h"
#include "tests/support/fenetres_test.h"

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

bool contient(const std::vector<QString>& lignes, const QString& texte) {
  for (const QString& l : lignes)
    if (l.endsWith(texte)) return true;
  return false;
}

// A shop that has run here before: its register folder is remembered.
class CaisseConnue : public ::testing::Test {
 protected:
  CaisseConnue() {
    {
      Processus avant;
      avant.fenetre->Form_Load();
    }
    EXPECT_TRUE(caisse_connue(b.dossier_caisse()));
  }
  GardeModales garde;
  Boutique b{DepartPontex{}};
};

TEST_F(CaisseConnue, AbsenteAuDemarragePuisRevenueLEchangeRepartSansPersonne) {
  fs::rename(b.caisse(), b.chemin("caisse-partie"));
  b.depose("mvt.txt", "");
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.Form_Load();  // GardeModales fails the test on any dialog
  const QString attente =
      "Données de caisse absentes : " + caisse_affichee(b) + " nouvel essai dans 10 s";
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - " + attente);
  EXPECT_EQ(f.label_attente_caisse->text(), attente);
  EXPECT_FALSE(f.label_attente_caisse->isHidden());
  EXPECT_TRUE(f.attend_caisse());
  EXPECT_EQ(f.Label9->text(), "");
  EXPECT_EQ(f.Timer1->intervalle(), 0);
  EXPECT_TRUE(p.systeme.demarrages.empty());
  // Monitoring is told why nothing is exchanged.
  const Verdict v = verdict_etat(b);
  EXPECT_EQ(v.code, 1) << v.ligne;
  EXPECT_TRUE(v.ligne.starts_with("PONTEX WARNING - register data away: Donn")) << v.ligne;
  EXPECT_EQ(etat_lu(b)->etat, EtatPontex::caisse_absente);
  // Still away: the next try changes nothing and writes no second line.
  const std::size_t lignes = p.journal().size();
  f.essaie_caisse();
  EXPECT_TRUE(f.attend_caisse());
  EXPECT_EQ(p.journal().size(), lignes);
  // Back: the ordinary start countdown, then the exchange.
  fs::rename(b.chemin("caisse-partie"), b.caisse());
  b.depose("mvt.txt", b.reference(2) + "\t3\n");
  const float stock_avant = b.stock(2);
  ASSERT_EQ(f.File1->count(), 1);
  f.essaie_caisse();
  EXPECT_FALSE(f.attend_caisse());
  EXPECT_TRUE(f.label_attente_caisse->isHidden());
  EXPECT_EQ(p.journal().back(),
            "03-02 14:05:37 - Données de caisse retrouvées : " + caisse_affichee(b));
  EXPECT_EQ(f.Label7->text(), "20");
  EXPECT_EQ(f.Label9->text(), "5");
  ASSERT_EQ(f.Timer1->intervalle(), 1000);
  f.Timer1->met_intervalle(3600000);
  for (int i = 0; i < 5; ++i) f.Timer1_Timer();
  EXPECT_FLOAT_EQ(b.stock(2), stock_avant + 3);
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Export généré");
  EXPECT_EQ(f.Timer2->intervalle(), 60000);
  EXPECT_EQ(verdict_etat(b).code, 0) << verdict_etat(b).ligne;
}

// The index gone after the start's check: before the exchange, or at the third record's lookup
// (the exchange's own look at it comes first). The window waits for it as at a start, nothing is
// said unknown to the server, no stock goes out; back, every record is applied once and the file's
// re-send is refused.
class IndexPerdu : public CaisseConnue, public ::testing::WithParamInterface<int> {
 protected:
  static void echange(fenetres::Form1& f) {
    ASSERT_EQ(f.Timer1->intervalle(), 1000);
    f.Timer1->met_intervalle(3600000);
    for (int i = 0; i < 5; ++i) f.Timer1_Timer();
  }
  fs::path index() const { return b.caisse() / "W_caiind.WDO"; }
  std::string erreurs() const { return lit_octets(b.fichier_erreurs("03-02-2026")); }
};

TEST_P(IndexPerdu, LaFenetreAttendLIndexPuisAppliqueChaqueRecordUneFois) {
  const int ouverture = GetParam();  // 0: gone before the exchange
  std::string contenu;
  for (int k : {1, 2, 3, 1}) contenu += b.reference(k) + "\t2\n";
  b.depose("mvt.txt", contenu);
  const float avant[] = {b.stock(1), b.stock(2), b.stock(3)};
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.Form_Load();
  int ouvertures = 0;
  {
    const EchecInjecte depart([&](Operation o, std::string_view chemin) {
      if (o == Operation::ouverture && chemin.ends_with("W_caiind.WDO") &&
          ++ouvertures == ouverture)
        fs::rename(index(), b.chemin("index-parti"));
      return false;
    });
    if (ouverture == 0) fs::rename(index(), b.chemin("index-parti"));
    echange(f);
  }
  EXPECT_TRUE(f.attend_caisse());
  EXPECT_FALSE(f.label_attente_caisse->isHidden());
  EXPECT_EQ(f.label_attente_caisse->text(),
            "Données de caisse absentes : " + caisse_affichee(b) + " nouvel essai dans 10 s");
  EXPECT_TRUE(Boutique::fichiers(b.exporte()).empty());
  EXPECT_EQ(erreurs().find("Erreur reference"), std::string::npos) << erreurs();
  EXPECT_EQ(b.mouvement(0).poste(), ouverture == 0 ? 0 : 2);
  // Still away: no exchange.
  f.essaie_caisse();
  EXPECT_TRUE(f.attend_caisse());
  fs::rename(b.chemin("index-parti"), index());
  f.essaie_caisse();
  EXPECT_FALSE(f.attend_caisse());
  echange(f);
  EXPECT_FLOAT_EQ(b.stock(1), avant[0] + 4);
  EXPECT_FLOAT_EQ(b.stock(2), avant[1] + 2);
  EXPECT_FLOAT_EQ(b.stock(3), avant[2] + 2);
  EXPECT_EQ(b.mouvement(0).poste(), 4);
  EXPECT_EQ(erreurs(), "");
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Export généré");
  // The server sends it again: refused, nothing applied twice.
  b.depose("mvt.txt", contenu);
  Processus suivant;
  suivant.fenetre->Form_Load();
  echange(*suivant.fenetre);
  EXPECT_TRUE(contient(suivant.journal(), "Fichier déjà traité : mvt.txt"));
  EXPECT_FLOAT_EQ(b.stock(1), avant[0] + 4);
  EXPECT_EQ(b.mouvement(0).poste(), 4);
}

INSTANTIATE_TEST_SUITE_P(AvantOuPendant, IndexPerdu, ::testing::Values(0, 4));

TEST_F(CaisseConnue, LesEssaisSuiventLeurDelaiSansClic) {
  fs::rename(b.caisse(), b.chemin("caisse-partie"));
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.met_delai_essai_caisse(std::chrono::milliseconds(200));
  f.Form_Load();
  ASSERT_TRUE(f.attend_caisse());
  QTest::qWait(500);
  EXPECT_TRUE(f.attend_caisse());
  fs::rename(b.chemin("caisse-partie"), b.caisse());
  // The retry comes by its own timer.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !f.attend_caisse(); }, 5000));
  EXPECT_EQ(f.Label9->text(), "5");
}

TEST_F(CaisseConnue, LaPersonneQuiArreteOuParametreArreteAussiLAttente) {
  fs::rename(b.caisse(), b.chemin("caisse-partie"));
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.Form_Load();
  f.Label11_Click();
  EXPECT_FALSE(f.attend_caisse());
  EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Procedure d'import / export stoppée");
  fs::rename(b.chemin("caisse-partie"), b.caisse());
  f.essaie_caisse();
  EXPECT_EQ(f.Timer1->intervalle(), 0);
  EXPECT_EQ(f.Label9->text(), "-");
}

TEST_F(CaisseConnue, UnAutreDossierQueCeluiQuiAMarcheFaitQuandMemeAvertir) {
  // A folder just typed that holds nothing: the shop is at the keyboard.
  b.ecrit_configuration("#TRANSIT#" + b.dossier.valeur_dossier() + "transit\\\r\n#FICBASE#" +
                        b.dossier.valeur_dossier() + "ailleurs\\\r\n");
  int avis = 0;
  fenetres::form97::prevoit_action([&](fenetres::form97& d) {
    ++avis;
    d.Form_KeyPress(13);
  });
  fenetres::outils::prevoit_action([](fenetres::outils& o) { o.done(0); });
  Processus p;
  p.fenetre->Form_Load();
  EXPECT_EQ(avis, 1);
  EXPECT_FALSE(p.fenetre->attend_caisse());
}

TEST(PremierDemarrage, UnDossierDeCaisseVideEstDitNonRenseigne) {
  GardeModales garde;
  Boutique b(DepartPontex{});
  b.ecrit_configuration("#TRANSIT#" + b.dossier.valeur_dossier() + "transit\\\r\n#FICBASE#\r\n");
  QString avis;
  fenetres::form97::prevoit_action([&](fenetres::form97& d) {
    avis = d.Label1->text();
    d.Form_KeyPress(13);
  });
  fenetres::outils::prevoit_action([](fenetres::outils& o) { o.done(0); });
  Processus p;
  p.fenetre->Form_Load();
  EXPECT_EQ(avis,
            "Aucune donnée de caisse dans le repertoire indiqué !\n\n"
            "Répertoire de caisse non renseigné (#FICBASE#)");
  EXPECT_FALSE(p.fenetre->attend_caisse());
}

// --- The last good exchange -----------------------------------------------------

class DernierEchange : public ::testing::Test {
 protected:
  void cycle(Processus& p) {
    p.fenetre->Form_Load();
    p.fenetre->Timer1->met_intervalle(3600000);
    for (int i = 0; i < 5; ++i) p.fenetre->Timer1_Timer();
  }
  GardeModales garde;
  Boutique b{DepartPontex{}};
};

TEST_F(DernierEchange, MontreEtGardeAuFilDesRedemarrages) {
  {
    Processus p;
    p.fenetre->Form_Load();
    EXPECT_EQ(p.fenetre->label_dernier_echange->text(), " Dernier échange réussi : aucun");
  }
  {
    Processus p;
    cycle(p);
    EXPECT_EQ(p.fenetre->label_dernier_echange->text(),
              " Dernier échange réussi : 03-02-2026 14:05");
  }
  // The next process, an hour later, shows it from its start.
  Processus suivant;
  suivant.horloge.regle(DateHeure{2026, 2, 3, 15, 5, 0});
  suivant.fenetre->Form_Load();
  EXPECT_EQ(suivant.fenetre->label_dernier_echange->text(),
            " Dernier échange réussi : 03-02-2026 14:05");
}

// The window's last good exchange is the status file's: an exchange with an error is not one,
// though its export went out.
TEST_F(DernierEchange, UneErreurNeComptePasCommeLeFichierDEtat) {
  {
    Processus p;
    cycle(p);
  }
  b.depose("mvt.txt", "INCONNU\t1\n");
  Processus p;
  p.horloge.regle(DateHeure{2026, 2, 3, 15, 5, 0});
  cycle(p);
  EXPECT_TRUE(contient(p.journal(), "Export généré"));
  EXPECT_EQ(p.fenetre->label_dernier_echange->text(), " Dernier échange réussi : 03-02-2026 14:05");
  const auto e = etat_lu(b);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->erreurs, 1);
}

TEST_F(DernierEchange, UnExportImpossibleNeComptePasEtLeDossierAbsentEstDit) {
  {
    Processus p;
    cycle(p);
  }
  fs::remove_all(b.exporte());
  Processus p;
  p.horloge.regle(DateHeure{2026, 2, 3, 15, 5, 0});
  cycle(p);
  EXPECT_EQ(p.fenetre->label_dernier_echange->text(), " Dernier échange réussi : 03-02-2026 14:05");
#ifdef _WIN32
  const QString exporte = QString::fromStdString(b.dossier.valeur_dossier()) + "transit\\export";
#else
  const QString exporte = QString::fromStdString(b.exporte().string());
#endif
  EXPECT_TRUE(contient(p.journal(), "Dossier de transit absent : " + exporte)) << [&] {
    std::string tout;
    for (const QString& l : p.journal()) tout += l.toStdString() + "\n";
    return tout;
  }();
  EXPECT_FALSE(contient(p.journal(), "Export généré"));
}

// --- Starts nobody asked for at this moment ----------------------------------------

TEST(Focus, UnRedemarrageNePrendPasLeFocusUnLancementParLaPersonneLePrend) {
  GardeModales garde;
  Boutique b(DepartPontex{});
  {
    Processus p;
    p.fenetre->met_lancement(Fenetre_lancement::sans_focus);
    p.fenetre->Form_Load();
    p.fenetre->montre();
    EXPECT_TRUE(p.fenetre->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(p.fenetre->isMinimized());
  }
  Processus p;
  p.fenetre->met_lancement(Fenetre_lancement::normale);
  p.fenetre->Form_Load();
  p.fenetre->montre();
  EXPECT_FALSE(p.fenetre->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_TRUE(QTest::qWaitForWindowActive(p.fenetre.get()));
}

TEST(Focus, LArgumentDuRedemarrage) {
  EXPECT_EQ(mode_lancement_demande({}), Fenetre_lancement::normale);
  EXPECT_EQ(mode_lancement_demande({"--sans-focus"}), Fenetre_lancement::sans_focus);
  EXPECT_EQ(mode_lancement_demande({"--autre", "--sans-focus"}), Fenetre_lancement::sans_focus);
  EXPECT_EQ(mode_lancement_demande({"--sans-focus=1"}), Fenetre_lancement::normale);
}

// --- Whole texts --------------------------------------------------------------------

TEST(TextesEntiers, ChaqueLabelDeLaFenetrePrincipale) {
  GardeModales garde;
  Boutique b(DepartPontex{});
  Processus p;
  p.fenetre->Form_Load();
  p.fenetre->Label12->setText("30");
  p.fenetre->label_attente_caisse->setText("Données de caisse absentes : " + caisse_affichee(b) +
                                           " nouvel essai dans 10 s");
  EXPECT_EQ(textes_coupes(*p.fenetre), std::vector<QString>{});
  EXPECT_EQ(p.fenetre->logicalDpiY(), 96);
}

}  // namespace
}  // namespace pontex::test

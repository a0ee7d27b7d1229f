// The settings window (load, save byte for byte, folders, restart) and the message dialog.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include "pontex/app/dossier_affiche.h"
#include "pontex/data/configuration.h"
#include "pontex/fenetres/controles.h"
#include "tests/support/fenetres_test.h"

namespace pontex::test {
namespace {

namespace fs = std::filesystem;
using fenetres::form97;
using fenetres::ModeDialogue;
using fenetres::outils;
using fenetres::ValeursDialogue;

TEST(DossierAffiche, CommeLeSystemeLeMontre) {
  using fenetres::dossier_affiche;
#ifdef _WIN32
  EXPECT_EQ(dossier_affiche("C:\\Caisse\\"), "C:\\Caisse\\");
#else
  EXPECT_EQ(dossier_affiche("/srv/caisse/\\"), "/srv/caisse/");
  EXPECT_EQ(dossier_affiche("/srv/Donn\351es\\"), "/srv/Données/");
  EXPECT_EQ(dossier_affiche("\\"), "/");
#endif
}

class Parametrage : public ::testing::Test {
 protected:
  // As the start-up of the main window leaves it.
  Parametrage() { p.programme.saut_ligne = "\r\n"; }
  // Shows the window, runs `action` on it, and returns when it closes.
  void ouvre(std::function<void(outils&)> action) {
    outils::prevoit_action(std::move(action));
    outils::montre(p.programme);
  }
  bool a_redemarre() {
    return p.systeme.demarrages.size() == 1 && p.systeme.demarrages[0].nom == "relvano.exe" &&
           p.systeme.demarrages[0].fenetre == Fenetre_lancement::normale &&
           p.systeme.terminaisons == 1;
  }
  std::string neuf() const { return b.dossier.valeur_dossier() + "neuf"; }
  bool arbre_complet(const fs::path& racine) const {
    for (const char* d : {"import", "import/histo", "export", "export/histo"}) {
      if (!fs::is_directory(racine / d)) return false;
    }
    return true;
  }

  GardeModales garde;
  Boutique b{DepartPontex{}};
  Processus p;
};

TEST_F(Parametrage, EnregistrerSansModifierAjouteUneLigneVideEtRedemarre) {
  const std::string texte =
      "#TRANSIT#" + neuf() + "  | serveur\r\n#FICBASE#" + b.dossier_caisse() + "\r\n#TIM_ANA#30";
  b.ecrit_configuration(texte);
  QString montre;
  QSize taille;
  std::vector<QString> journal;
  p.programme.journal_fenetre = [&](const QString& m, SorteLigne) { journal.push_back(m); };
  ouvre([&](outils& o) {
    montre = o.Text1->toPlainText();
    taille = o.size();
    EXPECT_EQ(o.focusWidget(), o.Text1);
    o.bt_fin_Click();
  });
  EXPECT_EQ(montre, QString::fromStdString("#TRANSIT#" + neuf() + "  | serveur\n#FICBASE#" +
                                           b.dossier_caisse() + "\n#TIM_ANA#30\n"));
  EXPECT_EQ(taille, QSize(1018, 710));
  EXPECT_EQ(lit_octets("Pontex.wdo"), texte + "\r\n\r\n");
  // Created under the trimmed path, the whole tree.
  EXPECT_TRUE(arbre_complet(b.chemin("neuf")));
  EXPECT_TRUE(a_redemarre());
  EXPECT_EQ(journal, std::vector<QString>{"Paramètrage enregistré, relance du logiciel"});
  EXPECT_FALSE(p.programme.valeurs.caisse.articles_ouverts());
}

TEST_F(Parametrage, LeCheminSaisiTelQuel) {
  // Trailing spaces without a comment are part of the folder's name; only
  // the first "#TRANSIT#" counts; a lower-case key is no key.
  b.ecrit_configuration("#transit#" + neuf() + "-min\r\n#TRANSIT#" + neuf() + "  \r\n#TRANSIT#" +
                        neuf() + "-bis\r\n");
  ouvre([](outils& o) { o.bt_fin_Click(); });
#ifdef _WIN32
  // Windows drops a name's trailing spaces: "neuf  " is the folder "neuf",
  // and its subfolders are reached through the same text.
  EXPECT_TRUE(arbre_complet(b.chemin("neuf")));
#else
  EXPECT_TRUE(arbre_complet(b.chemin("neuf  ")));
  EXPECT_FALSE(fs::exists(b.chemin("neuf")));
#endif
  EXPECT_FALSE(fs::exists(b.chemin("neuf-bis")));
  EXPECT_FALSE(fs::exists(b.chemin("neuf-min")));
  EXPECT_TRUE(a_redemarre());
}

TEST_F(Parametrage, LeTexteModifieEstEnregistreEnWindows1252) {
  fs::create_directory(b.chemin("neuf"));
  ouvre([&](outils& o) {
    o.Text1->setPlainText(QString::fromStdString("#TRANSIT#" + neuf()) +
                          QString::fromUtf8("\\Données  | à créer\n#TIM_ANA#5 | € et\u00A0espace "
                                            "insécable"));
    o.bt_fin_Click();
  });
  EXPECT_EQ(lit_octets("Pontex.wdo"), "#TRANSIT#" + neuf() +
                                          "\\Donn\351es  | \340 cr\351er\r\n#TIM_ANA#5 | "
                                          "\200 et\240espace ins\351cable\r\n");
  EXPECT_TRUE(arbre_complet(b.chemin("neuf/Données")));
  EXPECT_TRUE(a_redemarre());
}

// A UTF-8 file is written back as UTF-8, the folder made under the name looked for.
TEST_F(Parametrage, UnFichierUtf8EstReecritEnUtf8) {
  fs::create_directory(b.chemin("neuf"));
  b.ecrit_configuration("#TRANSIT#" + neuf() + "\\Donn\303\251es | \303\240 cr\303\251er\n");
  QString montre;
  ouvre([&](outils& o) {
    montre = o.Text1->toPlainText();
    o.Text1->setPlainText(montre + "#TIM_ANA#5 | \u20AC");
    o.bt_fin_Click();
  });
  EXPECT_EQ(montre, QString::fromStdString("#TRANSIT#" + neuf()) + "\\Données | à créer\n");
  EXPECT_EQ(lit_octets("Pontex.wdo"), "#TRANSIT#" + neuf() +
                                          "\\Donn\303\251es | \303\240 cr\303\251er\r\n"
                                          "#TIM_ANA#5 | \342\202\254\r\n");
  EXPECT_TRUE(arbre_complet(b.chemin("neuf/Données")));
  EXPECT_TRUE(a_redemarre());
}

// No configuration yet: a template of every key, read as the loader reads it.
TEST_F(Parametrage, SansConfigurationLeModeleDeToutesLesCles) {
  fs::remove(b.chemin("Pontex.wdo"));
  QString montre;
  ouvre([&](outils& o) {
    montre = o.Text1->toPlainText();
    o.bt_fin_Click();
  });
  const QStringList lignes = montre.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lignes.size(), 10);
  QStringList cles;
  for (const QString& l : lignes) {
    cles << l.left(9);
    EXPECT_GT(l.indexOf('|'), 9) << l.toStdString();
  }
  EXPECT_EQ(cles, (QStringList{"#TRANSIT#", "#FICBASE#", "#REFARTI#", "#NOM_STO#", "#NOM_MVT#",
                               "#NUMPOST#", "#UTILISA#", "#REP_STO#", "#REP_MVT#", "#TIM_ANA#"}));
  Configuration c;
  ASSERT_TRUE(charge_configuration(c));
  EXPECT_EQ(c.transit, "\\");
  EXPECT_EQ(c.nom_sto, "stock_");
  EXPECT_EQ(c.tim_ana, "30");
  EXPECT_EQ(c.refarti, 0);
  EXPECT_TRUE(a_redemarre());
}

TEST_F(Parametrage, UnFichierImpossibleAEcrireEstSignaleSansRedemarrer) {
  // A folder where the file should be: nothing can be written there.
  fs::remove(b.chemin("Pontex.wdo"));
  fs::create_directory(b.chemin("Pontex.wdo"));
  QString message;
  bool toujours_ouvert = false;
  QString texte_garde;
  ouvre([&](outils& o) {
    o.Text1->setPlainText("#TIM_ANA#5");
    form97::prevoit_action([&](form97& d) {
      message = d.Label1->text();
      d.Form_KeyPress(13);
    });
    o.bt_fin_Click();
    toujours_ouvert = o.isVisible();
    texte_garde = o.Text1->toPlainText();
    o.btc_Click(1);
  });
  EXPECT_EQ(message,
            "Impossible d'enregistrer le paramétrage dans Pontex.wdo !\n\nLe logiciel n'est pas "
            "relancé.");
  EXPECT_TRUE(toujours_ouvert);
  EXPECT_EQ(texte_garde, "#TIM_ANA#5");
  // Only the stop button ended the program, and nothing was started.
  EXPECT_TRUE(p.systeme.demarrages.empty());
  EXPECT_EQ(p.systeme.terminaisons, 1);
  EXPECT_TRUE(fs::is_directory(b.chemin("Pontex.wdo")));
}

// Saved, but relvano cannot be started: the shop is told, the program and the window stay, and
// saving again tries again.
TEST_F(Parametrage, UneRelanceImpossibleEstSignaleeEtLaFenetreReste) {
  p.systeme.refus = "program relvano not found";
  std::vector<QString> journal;
  p.programme.journal_fenetre = [&](const QString& m, SorteLigne) { journal.push_back(m); };
  std::vector<std::string> raisons;
  p.programme.sur_relance_impossible = [&](const std::string& r) { raisons.push_back(r); };
  QString message;
  bool toujours_ouvert = false;
  ouvre([&](outils& o) {
    o.Text1->setPlainText("#TIM_ANA#5");
    form97::prevoit_action([&](form97& d) {
      message = d.Label1->text();
      d.Form_KeyPress(13);
    });
    o.bt_fin_Click();
    toujours_ouvert = o.isVisible();
    p.systeme.refus.clear();
    o.bt_fin_Click();
  });
  EXPECT_EQ(message,
            "Relance impossible : program relvano not found\n\nLe paramétrage est enregistré.");
  EXPECT_TRUE(toujours_ouvert);
  EXPECT_EQ(lit_octets("Pontex.wdo"), "#TIM_ANA#5\r\n");
  EXPECT_EQ(raisons, std::vector<std::string>{"program relvano not found"});
  EXPECT_EQ(std::count(journal.begin(), journal.end(),
                       QString("Relance impossible : program relvano not found")),
            1);
  EXPECT_EQ(p.systeme.demarrages.size(), 2u);
  EXPECT_EQ(p.systeme.terminaisons, 1);
}

// The other two buttons end the program, say why in the journal, and leave the file as it was.
TEST_F(Parametrage, LesDeuxAutresBoutons) {
  const std::string avant = lit_octets("Pontex.wdo");
  for (int bouton : {0, 1}) {
    fs::remove(b.chemin("pontex_etat.json"));
    Processus q;
    std::vector<QString> lignes;
    q.programme.journal_fenetre = [&](const QString& m, SorteLigne) { lignes.push_back(m); };
    outils::prevoit_action(
        [bouton](outils& o) { QTest::mouseClick(o.btc[bouton], Qt::LeftButton); });
    outils::montre(q.programme);
    EXPECT_EQ(lignes,
              std::vector<QString>{bouton == 0 ? "Arrêt du logiciel : Lancer Pontex au démarrage"
                                               : "Arrêt du logiciel"});
    EXPECT_EQ(q.systeme.terminaisons, 1);
    EXPECT_EQ(lit_octets("Pontex.wdo"), avant);
    // Stopped by a person: monitoring is told at once.
    const Verdict v = verdict_etat(b);
    EXPECT_EQ(v.code, 2);
    EXPECT_TRUE(v.ligne.starts_with("PONTEX CRITICAL - stopped by the user: Arr")) << v.ligne;
    ASSERT_EQ(q.systeme.demarrages.size(), bouton == 0 ? 1u : 0u);
    if (bouton == 0) {
      EXPECT_EQ(q.systeme.demarrages[0].nom, "kestrap.exe");
      EXPECT_EQ(q.systeme.demarrages[0].fenetre, Fenetre_lancement::normale);
    }
  }
}

TEST_F(Parametrage, NiEchapNiLaFermetureNeQuittentLaFenetre) {
  bool encore_ouvert = false;
  ouvre([&](outils& o) {
    QTest::keyClick(&o, Qt::Key_Escape);
    ferme_par_gestionnaire(o);
    encore_ouvert = o.isVisible();
    o.btc_Click(1);
  });
  EXPECT_TRUE(encore_ouvert);
  EXPECT_EQ(p.systeme.terminaisons, 1);
}

// --- Without a mouse ------------------------------------------------------------

// Keys as the keyboard gives them, shortcuts included.
void touche(QWidget& fenetre, Qt::Key cle, Qt::KeyboardModifiers modif = Qt::NoModifier) {
  QTest::keyClick(fenetre.windowHandle(), cle, modif);
}
void tape(QWidget& fenetre, const char* texte) {
  for (const char* c = texte; *c != '\0'; ++c) QTest::keyClick(fenetre.windowHandle(), *c);
}

// Under Wine, a dialog driven by the keyboard alone (Tab, Space, Ctrl+S, a
// button's letter) never comes back from the keys the test sends: these run
// on Linux, where the same Qt code handles them.
constexpr const char* clavier_sous_wine = "keys sent to a dialog under Wine";

TEST_F(Parametrage, AuClavierSeulTabulationEspaceEnregistre) {
  if (sous_wine()) GTEST_SKIP() << clavier_sous_wine;
  b.ecrit_configuration("#TIM_ANA#30\r\n");
  bool tour_attendu = false;
  std::vector<QString> noms;
  bool cadre_visible = false;
  ouvre([&](outils& o) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&o));
    ASSERT_EQ(QApplication::focusWidget(), o.Text1);
    touche(o, Qt::Key_End, Qt::ControlModifier);
    tape(o, "#UTILISA#3");
    // Tab leaves the text (it types no tab character) for the buttons,
    // left to right, and comes back.
    std::vector<QWidget*> tour;
    for (int i = 0; i < 4; ++i) {
      touche(o, Qt::Key_Tab);
      tour.push_back(QApplication::focusWidget());
      noms.push_back(QApplication::focusWidget()->accessibleName());
    }
    tour_attendu = tour == std::vector<QWidget*>{o.btc[1], o.btc[0], o.bt_fin, o.Text1};
    // The button that has the focus shows it.
    touche(o, Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), o.bt_fin);
    const QImage avec = o.bt_fin->grab().toImage();
    touche(o, Qt::Key_Tab);
    const QImage sans = o.bt_fin->grab().toImage();
    cadre_visible = avec != sans;
    touche(o, Qt::Key_Backtab);
    touche(o, Qt::Key_Space);
    if (!p.programme.fini()) o.btc_Click(1);  // never left open on a failure
  });
  EXPECT_TRUE(tour_attendu);
  ASSERT_EQ(noms.size(), 4u);
  EXPECT_EQ(noms[0], "Arrêt du logiciel");
  EXPECT_EQ(noms[1], "Charger le logiciel au demarrage de windows");
  EXPECT_EQ(noms[2], "Enregistrer les modifications et relancer le logiciel");
  EXPECT_EQ(noms[3], "Paramètrage de Base");
  EXPECT_TRUE(cadre_visible);
  EXPECT_EQ(lit_octets("Pontex.wdo"), "#TIM_ANA#30\r\n#UTILISA#3\r\n");
  EXPECT_TRUE(a_redemarre());
}

TEST_F(Parametrage, CtrlSEnregistreDepuisLeTexte) {
  if (sous_wine()) GTEST_SKIP() << clavier_sous_wine;
  b.ecrit_configuration("#TIM_ANA#30\r\n");
  ouvre([&](outils& o) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&o));
    touche(o, Qt::Key_Down);
    tape(o, "#NUMPOST#2");
    touche(o, Qt::Key_S, Qt::ControlModifier);
    if (!p.programme.fini()) o.btc_Click(1);  // never left open on a failure
  });
  EXPECT_EQ(lit_octets("Pontex.wdo"), "#TIM_ANA#30\r\n#NUMPOST#2\r\n");
  EXPECT_TRUE(a_redemarre());
}

TEST_F(Parametrage, TousLesTextesEntiers) {
  std::vector<QString> coupes{"not measured"};
  ouvre([&](outils& o) {
    coupes = textes_coupes(o);
    o.btc_Click(1);
  });
  EXPECT_EQ(coupes, std::vector<QString>{});
}

TEST(Dialogue, TousLesMessagesEntiers) {
  GardeModales garde;
  const QString messages[] = {
      "Confirmer la sortie du logiciel, l'envoi de données sera désactivée jusqu'au prochain "
      "lancement ?",
      "Voulez vous que le logiciel fonctionne en tache de fond (Dans la barre des taches) ?",
      "Aucune donnée de caisse dans le repertoire indiqué !\r\n\r\n" +
          fenetres::dossier_caisse_signale(""),
      "Aucune donnée de caisse dans le repertoire indiqué !\r\n\r\n" +
          fenetres::dossier_caisse_signale("\\\\caisse-pc\\Caisse\\Donn\351es\\"),
      "Impossible d'enregistrer le paramétrage dans Pontex.wdo !\r\n\r\nLe logiciel n'est pas "
      "relancé."};
  for (const QString& m : messages) {
    ValeursDialogue v{ModeDialogue::question, m};
    std::vector<QString> coupes{"not measured"};
    form97::prevoit_action([&](form97& d) {
      coupes = textes_coupes(d);
      d.Form_KeyPress(27);
    });
    form97::montre(v);
    EXPECT_EQ(coupes, std::vector<QString>{}) << m.toStdString();
  }
}

TEST(Dialogue, AuClavierLeBoutonEncadreRepond) {
  if (sous_wine()) GTEST_SKIP() << clavier_sous_wine;
  GardeModales garde;
  struct Cas {
    int tabulations;
    Qt::Key cle;
    ModeDialogue reponse;
  };
  // Enter as before on the button that has the focus first (yes); after a
  // Tab, the other one answers (no); Space like Enter.
  using enum ModeDialogue;
  for (const Cas c : {Cas{0, Qt::Key_Return, oui}, Cas{1, Qt::Key_Return, non},
                      Cas{1, Qt::Key_Space, non}, Cas{2, Qt::Key_Space, oui}}) {
    ValeursDialogue v{ModeDialogue::question, "Question"};
    QString nom;
    bool repondu = false;
    form97::prevoit_action([&](form97& d) {
      ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
      for (int i = 0; i < c.tabulations; ++i) touche(d, Qt::Key_Tab);
      nom = QApplication::focusWidget() ? QApplication::focusWidget()->accessibleName() : "";
      touche(d, c.cle);
      repondu = !d.isVisible();
      if (!repondu) d.Form_KeyPress(27);
    });
    form97::montre(v);
    EXPECT_TRUE(repondu) << c.tabulations;
    EXPECT_EQ(v.mode, c.reponse) << c.tabulations;
    EXPECT_EQ(nom, c.reponse == ModeDialogue::oui ? "Oui" : "Non");
  }
}

// --- The message dialog -------------------------------------------------------

TEST(Dialogue, ChaqueGesteDonneSaReponse) {
  GardeModales garde;
  using enum ModeDialogue;
  const struct {
    ModeDialogue mode;
    Geste geste;
    ModeDialogue reponse;
  } cas[] = {{question, Geste::entree, oui},   {question, Geste::pave_entree, oui},
             {question, Geste::echap, non},    {question, Geste::clic_oui, oui},
             {question, Geste::clic_non, non}, {question, Geste::fermeture, non},
             {avis, Geste::entree, oui},       {avis, Geste::echap, non},
             {avis, Geste::clic_oui, oui},     {avis, Geste::fermeture, non}};
  for (std::size_t i = 0; i < std::size(cas); ++i) {
    SCOPED_TRACE(i);
    ValeursDialogue v{cas[i].mode, "Une question ?"};
    bool bouton_non = false;
    form97::prevoit_action([&](form97& d) {
      bouton_non = !d.bt_no->isHidden();
      repond(d, cas[i].geste);
    });
    form97::montre(v);
    EXPECT_EQ(v.mode, cas[i].reponse);
    EXPECT_TRUE(v.message.isEmpty());
    EXPECT_EQ(bouton_non, cas[i].mode == question);
  }
}

TEST(Dialogue, LesAutresTouchesNeRepondentPas) {
  if (sous_wine()) GTEST_SKIP() << clavier_sous_wine;
  GardeModales garde;
  ValeursDialogue v{ModeDialogue::question, "Question"};
  bool encore_ouvert = false;
  form97::prevoit_action([&](form97& d) {
    QTest::keyClick(&d, Qt::Key_A);
    QTest::keyClick(&d, Qt::Key_Space);
    encore_ouvert = d.isVisible();
    d.Form_KeyPress(27);
  });
  form97::montre(v);
  EXPECT_TRUE(encore_ouvert);
  EXPECT_EQ(v.mode, ModeDialogue::non);
}

TEST(Dialogue, ChaqueAffichageRepartDeZero) {
  GardeModales garde;
  ValeursDialogue v{ModeDialogue::question, "Premier"};
  form97::prevoit_action([](form97& d) { d.Form_KeyPress(13); });
  form97::montre(v);
  // A notice right after a question has one button again.
  v.mode = ModeDialogue::avis;
  v.message = "Second\r\nligne";
  QString texte;
  bool bouton_non = true;
  form97::prevoit_action([&](form97& d) {
    texte = d.Label1->text();
    bouton_non = !d.bt_no->isHidden();
    d.Form_KeyPress(13);
  });
  form97::montre(v);
  EXPECT_FALSE(bouton_non);
  EXPECT_EQ(texte, "Second\nligne");
}

// Only code -1 shows the notice for a folder without till data.
TEST(Dialogue, RoutineDeMessage) {
  GardeModales garde;
  ValeursDialogue v{ModeDialogue::question, ""};
  QString texte;
  form97::prevoit_action([&](form97& d) {
    texte = d.Label1->text();
    d.Form_KeyPress(27);
  });
  fenetres::affiche_message(-1, v, "\r\n", "C:\\Caisse\\Donn\351es\\");
#ifdef _WIN32
  EXPECT_TRUE(texte.endsWith("\n\nC:\\Caisse\\Données\\"));
#else
  // Shown as Linux shows folders.
  EXPECT_TRUE(texte.endsWith("\n\nC:/Caisse/Données/"));
#endif
  v.mode = ModeDialogue::question;
  for (int code : {0, 1}) fenetres::affiche_message(code, v, "\r\n", "x\\");
  EXPECT_EQ(v.mode, ModeDialogue::question);
  EXPECT_TRUE(garde.inattendues.empty());
}

}  // namespace
}  // namespace pontex::test

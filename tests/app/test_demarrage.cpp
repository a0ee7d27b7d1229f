// Main window start-up, a folder without till data, quitting and the background mode.

#include <gtest/gtest.h>

#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QStringDecoder>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QToolTip>

#include "pontex/app/modele_journal.h"
#include "pontex/data/inter_logg.h"
#include "pontex/fenetres/boite_fichiers.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/texte_1252.h"
#include "tests/support/fenetres_test.h"

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
  Boutique b(DepartPontex{});
  for (const char* f : {"transit/import/b.txt", "transit/import/a.txt", "transit/import/c.old",
                        "transit/export/stock_1.txt", "transit/export/ventes_1.txt"}) {
    ecrit_octets(b.chemin(f), "");
  }
  Processus p;
  p.fenetre->Form_Load();
  const fenetres::Form1& f = *p.fenetre;
  // The journal stamp carries the minutes: 14:05:37 on 3 February.
  EXPECT_EQ(p.journal(), std::vector<QString>{"03-02 14:05:37 - Démarrage"});
  EXPECT_EQ(f.List1->currentIndex().row(), 0);
  EXPECT_EQ(f.Label5->text(), caisse_affichee(b));
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
  Boutique b(DepartPontex{.fichier_principal = false});
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
  // The sentence, an empty line, the folder.
  EXPECT_EQ(avis, "Aucune donnée de caisse dans le repertoire indiqué !\n\n" + caisse_affichee(b));
  EXPECT_TRUE(un_seul_bouton);
  EXPECT_TRUE(texte_parametrage.startsWith("#TRANSIT#"));
  EXPECT_EQ(p.programme.code_message, -1);
  EXPECT_TRUE(p.programme.dialogue.message.isEmpty());
  // Nothing armed: no exchange in this process. The notice is in the
  // journal too, for whoever reads its day file later.
  EXPECT_EQ(p.journal(),
            (std::vector<QString>{"03-02 14:05:37 - Démarrage",
                                  "03-02 14:05:37 - Aucune donnée de caisse dans le repertoire "
                                  "indiqué ! " +
                                      caisse_affichee(b)}));
  EXPECT_EQ(f.Label9->text(), "");
  EXPECT_EQ(f.Timer1->intervalle(), 0);
  EXPECT_EQ(f.Timer2->intervalle(), 0);
  EXPECT_EQ(f.File1->count(), 0);
  EXPECT_EQ(f.File2->count(), 0);
  EXPECT_EQ(p.systeme.terminaisons, 0);
}

TEST(Demarrage, UneDemandeDeDemarrageReduitNeChangePasLeMode) {
  GardeModales garde;
  Boutique b(DepartPontex{});
  qputenv("PONTEX_DEMARRAGE_REDUIT", "1");
  Processus p;
  p.fenetre->Form_Load();
  EXPECT_TRUE(p.fenetre->windowState() & Qt::WindowMinimized);
  EXPECT_EQ(p.fenetre->Label18->text(), "");
  // Not passed on to what this process starts later.
  EXPECT_FALSE(qEnvironmentVariableIsSet("PONTEX_DEMARRAGE_REDUIT"));
  // Shown to the taskbar without taking the focus from the till.
  p.fenetre->montre();
  EXPECT_TRUE(p.fenetre->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_TRUE(p.fenetre->isMinimized());
  // Background mode alone starts minimised too, but as a start the user
  // asked for: the window may take the focus.
  ASSERT_TRUE(ecrit_logg("POSIFEN", "OUI"));
  Processus fond;
  fond.fenetre->Form_Load();
  fond.fenetre->montre();
  EXPECT_TRUE(fond.fenetre->isMinimized());
  EXPECT_FALSE(fond.fenetre->testAttribute(Qt::WA_ShowWithoutActivating));
}

TEST(Journal, LaDerniereLigneEstSelectionneeEtVisible) {
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.show();
  for (int i = 0; i < 3000; ++i) f.ajoute_journal("2.00 x CAF\311 MOULU 250G");
  f.ajoute_journal("A");  // unsorted: in the order written
  QCoreApplication::processEvents();
  const fenetres::ModeleJournal& m = *f.modele_journal;
  ASSERT_EQ(m.rowCount(), 3001);
  EXPECT_EQ(m.index(2999).data(), "03-02 14:05:37 - 2.00 x CAFÉ MOULU 250G");
  EXPECT_EQ(m.index(3000).data(), "03-02 14:05:37 - A");
  EXPECT_EQ(f.List1->currentIndex().row(), 3000);
  EXPECT_EQ(f.List1->selectionModel()->selectedIndexes(), QModelIndexList{m.index(3000)});
  EXPECT_TRUE(f.List1->viewport()->rect().contains(f.List1->visualRect(m.index(3000))));
  // More lines later: the selection moves on to the newest one.
  f.ajoute_journal("B");
  QCoreApplication::processEvents();
  EXPECT_EQ(f.List1->selectionModel()->selectedIndexes(), QModelIndexList{m.index(3001)});
}

// Error lines stand out (bold, red, a mark) with their text unchanged; no line is elided.
TEST(Journal, LesAlertesRessortentEtAucuneLigneNEstAbregee) {
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.show();
  const std::string designation = "TARTE AUX POMMES 6 PARTS" + std::string(16, ' ');
  f.ajoute_journal("2.00 x " + designation, SorteLigne::mouvement);
  f.ajoute_journal("-1.50 x Erreur reference : INCONNU", SorteLigne::erreur);
  f.ajoute_journal("Fichier non trait\351 : mvt.txt", SorteLigne::refus);
  QCoreApplication::processEvents();
  const fenetres::ModeleJournal& m = *f.modele_journal;
  ASSERT_EQ(m.rowCount(), 3);
  EXPECT_EQ(m.index(1).data(), "03-02 14:05:37 - -1.50 x Erreur reference : INCONNU");
  EXPECT_EQ(f.List1->textElideMode(), Qt::ElideNone);
  auto* delegue = qobject_cast<fenetres::DelegueJournal*>(f.List1->itemDelegate());
  ASSERT_NE(delegue, nullptr);
  const auto dessin = [&](int ligne) {
    QStyleOptionViewItem o;
    o.initFrom(f.List1);
    o.font = f.List1->font();
    delegue->initStyleOption(&o, m.index(ligne));
    return o;
  };
  const QStyleOptionViewItem mouvement = dessin(0), erreur = dessin(1), refus = dessin(2);
  EXPECT_EQ(mouvement.text, m.index(0).data().toString());
  EXPECT_FALSE(mouvement.font.bold());
  for (const QStyleOptionViewItem& o : {mouvement, erreur, refus}) {
    EXPECT_EQ(o.textElideMode, Qt::ElideNone);
  }
  for (const auto& [o, texte] : {std::pair{erreur, m.index(1).data().toString()},
                                 std::pair{refus, m.index(2).data().toString()}}) {
    EXPECT_TRUE(o.font.bold());
    EXPECT_TRUE(o.text.endsWith(texte)) << o.text.toStdString();
    EXPECT_NE(o.text, texte);  // the mark before it
    EXPECT_NE(o.palette.color(QPalette::Text), mouvement.palette.color(QPalette::Text));
  }
}

// On screen, a reference refused for its leading spaces shows them; the journal file keeps them
// as they were. A line too long for the column shows whole in the tooltip over it.
TEST(Journal, EspacesDeTeteVisiblesEtLignesEntieresEnInfobulle) {
  DossierTemporaire d;
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.ajoute_journal("2.00 x Erreur reference :   ART-6");
  f.ajoute_journal("2.00 x Erreur reference : ART 7");  // a space inside stays one
  const std::string longue = "Fichier non trait\351 : /srv/" + std::string(200, 'x') + "/mvt.txt";
  f.ajoute_journal(longue);
  QCoreApplication::processEvents();
  const fenetres::ModeleJournal& m = *f.modele_journal;
  ASSERT_EQ(m.rowCount(), 3);
  EXPECT_EQ(m.index(0).data(), "03-02 14:05:37 - 2.00 x Erreur reference : ␣␣ART-6");
  EXPECT_EQ(m.index(1).data(), "03-02 14:05:37 - 2.00 x Erreur reference : ART 7");
  f.ecrit_journal();
  const std::string fichier = lit_octets("journal/pontex_2026-02-03.log");
  EXPECT_NE(fichier.find("Erreur reference :   ART-6"), std::string::npos) << fichier;
  EXPECT_EQ(fichier.find("␣"), std::string::npos);

  // The long line is wider than the column: its tooltip gives it whole.
  const QFontMetrics mesure(f.List1->font());
  EXPECT_GT(mesure.horizontalAdvance(m.index(2).data().toString()), f.List1->viewport()->width());
  for (int ligne = 0; ligne < m.rowCount(); ++ligne) {
    const QRect r = f.List1->visualRect(m.index(ligne));
    const QPoint sur(r.left() + 20, r.center().y());
    ASSERT_TRUE(f.List1->viewport()->rect().contains(sur));
    QHelpEvent e(QEvent::ToolTip, sur, f.List1->viewport()->mapToGlobal(sur));
    QApplication::sendEvent(f.List1->viewport(), &e);
    EXPECT_EQ(QToolTip::text(), m.index(ligne).data().toString()) << ligne;
    QToolTip::hideText();
  }
}

// The code-page table reads each of the 256 bytes as the system's converter does.
TEST(Journal, LaTableDeLaPageDeCodeLitChaqueOctetCommeLeConvertisseur) {
  std::string tous;
  for (int b = 0; b < 256; ++b) tous.push_back(static_cast<char>(b));
  const QString lu = fenetres::depuis_1252(tous);
  ASSERT_EQ(lu.size(), 256);
  EXPECT_EQ(lu[0x80], QChar(0x20AC));  // €
  EXPECT_EQ(lu[0xE9], QChar(0xE9));    // é
#ifndef _WIN32
  QStringDecoder decodeur("windows-1252");
  ASSERT_TRUE(decodeur.isValid());
  const QString attendu = decodeur(QByteArray(tous.data(), 256));
  EXPECT_EQ(lu, attendu);
  EXPECT_EQ(fenetres::utf8_depuis_1252(tous), attendu.toUtf8().toStdString());
  EXPECT_EQ(fenetres::utf8_depuis_1252("2.00 x CAF\xC9"), "2.00 x CAF\xC3\x89");
  // A journal line per movement: plain ASCII is the text itself, any other
  // is converted whole into the buffer, whatever the buffer held before.
  std::string tampon = "ligne d'avant, plus longue que les suivantes";
  const std::string_view ascii = "5.00 x SAVON DE MARSEILLE 300G";
  const std::string_view vu = fenetres::utf8_depuis_1252(ascii, tampon);
  EXPECT_EQ(vu.data(), ascii.data());
  EXPECT_EQ(vu.size(), ascii.size());
  EXPECT_EQ(fenetres::utf8_depuis_1252("\xC9T\xC9 \x80 5", tampon),
            "\xC3\x89T\xC3\x89 \xE2\x82\xAC 5");
  EXPECT_EQ(fenetres::utf8_depuis_1252("3.00 x C\xD4TES", tampon), "3.00 x C\xC3\x94TES");
  EXPECT_EQ(fenetres::utf8_depuis_1252(tous, tampon), attendu.toUtf8().toStdString());
#endif
}

TEST(Fenetre, ZoneDeClicControlesDeTestEtOrdreDeTabulation) {
  GardeModales garde;
  Boutique b(DepartPontex{});
  Processus p;
  fenetres::Form1& f = *p.fenetre;
  EXPECT_EQ(f.size(), QSize(1018, 710));
  // The titles the shop reads, accents and spaces as they were designed.
  const std::pair<QLabel*, const char*> titres[] = {
      {f.Label2, "Fichiers en réception"},
      {f.Label3, "Fichiers en Emission"},
      {f.Label1, "Journal des événements"},
      {f.Label4, " Fichier Principal"},
      {f.Label6, " Nb de fiches Articles"},
      {f.Label13, "Prochaine Analyse dans"},
      {f.Label14, "minute(s)"},
      {f.Label10,
       "Cliquez ici pour stopper la procedure d'import / export pour rentrer dans le "
       "mode parametrage"}};
  for (const auto& [label, texte] : titres) EXPECT_EQ(label->text(), texte);
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
  // Tab goes round the journal, the two lists, then the buttons from left
  // to right, each named for a screen reader.
  f.Form_Load();
  f.montre();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  EXPECT_EQ(QApplication::focusWidget(), f.List1);
  std::vector<QWidget*> tour;
  for (int i = 0; i < 7; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    tour.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(tour, (std::vector<QWidget*>{f.File1, f.File2, f.Label11, f.bt_outils, f.Image3,
                                         f.bt_fin, f.List1}));
  for (QWidget* bouton :
       std::initializer_list<QWidget*>{f.Label11, f.bt_outils, f.Image3, f.bt_fin})
    EXPECT_FALSE(bouton->accessibleName().isEmpty()) << bouton->objectName().toStdString();
}

// --- Quitting and the background mode ------------------------------------------

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
  Boutique b(DepartPontex{});
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
    // Said in the journal, and so in its day file, before the end.
    EXPECT_EQ(p.journal().back(), "03-02 14:05:37 - Sortie du logiciel confirmée");
    EXPECT_NE(lit_octets("journal/pontex_2026-02-03.log").find("Sortie du logiciel confirm"),
              std::string::npos);
    EXPECT_FALSE(p.programme.valeurs.caisse.articles_ouverts());
    EXPECT_FALSE(f.isVisible());
    // Monitoring knows at once: nobody will start it again by itself.
    const auto e = etat_lu(b);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->etat, EtatPontex::arrete_utilisateur);
    EXPECT_EQ(e->raison, "Sortie du logiciel confirm\u00e9e");
    const Verdict v = verdict_etat(b);
    EXPECT_EQ(v.code, 2);
    EXPECT_TRUE(v.ligne.starts_with("PONTEX CRITICAL - stopped by the user: ")) << v.ligne;
  } else {
    // Everything as it was, countdown included.
    EXPECT_EQ(p.systeme.terminaisons, 0);
    EXPECT_EQ(p.journal().size(), 1u);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Timer1->intervalle(), 3600000);
    EXPECT_EQ(f.Label9->text(), "04");
    EXPECT_FALSE(etat_lu(b).has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(Reponses, Sortie,
                         ::testing::Values(CasSortie{Geste::clic_oui, true, false},
                                           CasSortie{Geste::clic_non, false, false},
                                           CasSortie{Geste::entree, true, false},
                                           CasSortie{Geste::echap, false, false},
                                           CasSortie{Geste::entree, true, true},
                                           CasSortie{Geste::echap, false, true}));

// The stored value bytes of the entry "POSIFEN" ("" when absent).
std::string valeur_stockee() {
  const std::string octets = lit_octets("W_intlog.wdo");
  for (std::size_t debut = 128; debut + 128 <= octets.size(); debut += 128) {
    if (octets.compare(debut, 15, "POSIFEN        ") == 0) return octets.substr(debut + 23, 40);
  }
  return "";
}

TEST(TacheDeFond, OuiPuisNonEtLeDemarrageSuivant) {
  GardeModales garde;
  Boutique b(DepartPontex{});
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
  Boutique b(DepartPontex{});
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
  // Off was asked for, but the store still says on: the label says so too, as the next start will.
  EXPECT_EQ(valeur_stockee(), "OUI" + std::string(37, ' '));
  EXPECT_EQ(p.fenetre->Label18->text(), "1");
  EXPECT_TRUE(p.fenetre->windowState() & Qt::WindowMinimized);
}

}  // namespace
}  // namespace pontex::test

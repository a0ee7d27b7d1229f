#include "pontex/app/outils.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QTextDocument>
#include <QTimer>

#include "pontex/app/form97.h"
#include "pontex/app/programme.h"
#include "pontex/data/configuration.h"
#include "pontex/data/parametrage.h"
#include "pontex/fenetres/actions_test.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/icc.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/encodage.h"
#include "pontex/shared/fichiers.h"

namespace pontex::fenetres {

namespace {

ActionsPrevues<outils>& actions_de_test() {
  static ActionsPrevues<outils> prevues;
  return prevues;
}

const QString nom_configuration = QString::fromLatin1(nom_fichier_configuration.data(),
                                                      qsizetype(nom_fichier_configuration.size()));

}  // namespace

outils::outils(Programme& programme, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      programme_(programme) {
  setObjectName(QStringLiteral("outils"));
  setModal(true);
  setWindowTitle(QStringLiteral("Paramètrage"));
  habille_fenetre_principale(*this);

  const QFont normale = police_arial(12);
  Label1 = cree_label(this, QStringLiteral("Paramètrage de Base"), rect_twips(180, 240, 14865, 285),
                      normale, Qt::AlignCenter);
  met_fond(Label1, QColor(255, 224, 192));

  Text1 = new QPlainTextEdit(this);
  place_twips(Text1, 180, 540, 14865, 5985);
  Text1->setFont(police_courier(12));
  Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Text1->setAccessibleName(QStringLiteral("Paramètrage de Base"));
  // Tab leaves the text for the buttons: the configuration has no use for
  // a tab character, and the window must work without a mouse.
  Text1->setTabChangesFocus(true);

  const auto droite = Qt::AlignRight | Qt::AlignTop;
  btc[1] = new ImageClic(this);
  place_twips(btc[1], 210, 9570, 960, 960);
  btc[1]->setToolTip(QStringLiteral("Arrêt du logiciel"));
  // Up to the next button: in its first width the last word did not show.
  Label2 = cree_label(
      this,
      QStringLiteral("Abandonner le paramétrage  pour effectuer une vérification des répertoires "),
      rect_twips(1350, 9570, 3960, 855), normale, droite);
  btc[0] = new ImageClic(this);
  place_twips(btc[0], 5400, 9510, 960, 960);
  btc[0]->setToolTip(QStringLiteral("Charger le logiciel au demarrage de windows"));
  Label3 = cree_label(this, QStringLiteral(" Lancer Pontex au démarrage de Windows "),
                      rect_twips(6570, 9570, 2175, 855), normale, droite);
  bt_fin = new ImageClic(this);
  place_twips(bt_fin, 14130, 9570, 960, 960);
  Label4 = cree_label(this, QStringLiteral("Enregistrer les modifications et relancer le logiciel"),
                      rect_twips(11790, 9570, 2175, 855), normale);

  btc[1]->met_clavier(btc[1]->toolTip());
  btc[0]->met_clavier(btc[0]->toolTip());
  bt_fin->met_clavier(Label4->text());
  setTabOrder(Text1, btc[1]);
  setTabOrder(btc[1], btc[0]);
  setTabOrder(btc[0], bt_fin);
  // Ctrl+S saves and restarts, from the text as from anywhere.
  auto* enregistre = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
  enregistre->setContext(Qt::WindowShortcut);
  connect(enregistre, &QShortcut::activated, this, &outils::bt_fin_Click);

  // Below the text, while the periodic restart waits for these edits: this
  // window covers the main one and its countdown.
  label_attente_relance =
      cree_label(this, QStringLiteral("Relance en attente : le paramétrage n'est pas enregistré"),
                 rect_twips(180, 6660, 14865, 405), police_arial(12, true), Qt::AlignCenter);
  label_attente_relance->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0)"));
  label_attente_relance->hide();
  programme_.relance_en_attente = [this](bool attend) {
    label_attente_relance->setVisible(attend);
  };
  // Edits not yet saved hold the periodic restart back.
  connect(Text1->document(), &QTextDocument::modificationChanged, this, [this](bool modifie) {
    programme_.parametrage_modifie = modifie;
    if (!modifie && programme_.parametrage_libere) programme_.parametrage_libere();
  });

  connect(btc[0], &ImageClic::clic, this, [this] { btc_Click(0); });
  connect(btc[1], &ImageClic::clic, this, [this] { btc_Click(1); });
  connect(bt_fin, &ImageClic::clic, this, &outils::bt_fin_Click);
}

outils::~outils() {
  programme_.relance_en_attente = nullptr;
  // Closed with its edits (only a test closes it otherwise than by its
  // buttons): nothing holds the restart any more.
  if (programme_.parametrage_modifie) {
    programme_.parametrage_modifie = false;
    if (programme_.parametrage_libere) programme_.parametrage_libere();
  }
}

void outils::montre(Programme& programme, QWidget* parent) {
  outils fenetre(programme, parent);
  fenetre.Form_Load();
  if (programme.fini()) return;
  actions_de_test().lance_sur(fenetre);
  fenetre.exec();
}

void outils::Form_Load() {
  place_fenetre(*this);
  btc[0]->setPixmap(icc::demarrage());
  btc[1]->setPixmap(icc::croix());
  bt_fin->setPixmap(icc::fin());
  std::string contenu;
  if (existe_fichier(nom_fichier_configuration) && lit_texte(nom_fichier_configuration, contenu)) {
    utf8_ = est_utf8_etendu(contenu);
    Text1->setPlainText(texte_parametrage(contenu, utf8_));
  } else {
    // A first start: the keys to fill in rather than an empty page. Saved
    // as the system's editors save text.
#ifdef _WIN32
    utf8_ = false;
#else
    utf8_ = true;
#endif
    Text1->setPlainText(modele_parametrage());
  }
  // What the file holds (or the template) is no edit of the shop's.
  Text1->document()->setModified(false);
  Text1->setFocus();
  QCoreApplication::processEvents();
}

void outils::bt_fin_Click() {
  // The text box breaks lines with LF; the file's lines end with CR LF.
  QString texte = Text1->document()->toRawText();
  texte.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  texte.replace(QChar::LineSeparator, QLatin1Char('\n'));
  texte.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  const std::string octets = utf8_ ? texte.toUtf8().toStdString() : vers_1252(texte);

  // Folders are made from the Windows-1252 path the program will use.
  if (const auto transit = transit_saisi(utf8_ ? vers_1252(texte) : octets)) {
    cree_dossiers_transit(*transit);
  }

  if (!enregistre_parametrage(octets + "\r\n")) {
    // A restart now would come back with the old settings and the edits
    // gone: say so, and leave the window open with the text.
    programme_.journalise(QStringLiteral("Impossible d'enregistrer le paramétrage dans ") +
                              nom_configuration + QStringLiteral(" !"),
                          SorteLigne::erreur);
    programme_.dialogue.mode = ModeDialogue::avis;
    programme_.dialogue.message = QStringLiteral("Impossible d'enregistrer le paramétrage dans ") +
                                  nom_configuration + QStringLiteral(" !") + programme_.saut_ligne +
                                  programme_.saut_ligne +
                                  QStringLiteral("Le logiciel n'est pas relancé.");
    form97::montre(programme_.dialogue, this);
    return;
  }
  programme_.journalise(QStringLiteral("Paramètrage enregistré, relance du logiciel"));
  // Saved: a restart waiting for these edits may go, whatever follows.
  Text1->document()->setModified(false);
  const Resultat lancee = programme_.relance(Fenetre_lancement::normale);
  if (programme_.fini() || lancee) return;
  // Saved, but not restarted: say so; the window stays for another try.
  programme_.dialogue.mode = ModeDialogue::avis;
  programme_.dialogue.message = Programme::texte_relance_impossible(lancee) +
                                programme_.saut_ligne + programme_.saut_ligne +
                                QStringLiteral("Le paramétrage est enregistré.");
  form97::montre(programme_.dialogue, this);
}

void outils::btc_Click(int Index) {
  if (Index == 0) {
    const QString arret = QStringLiteral("Arrêt du logiciel : Lancer Pontex au démarrage");
    programme_.journalise(arret);
    programme_.note_etat(EtatPontex::arrete_utilisateur, arret);
    programme_.termine("kestrap.exe", Fenetre_lancement::normale);
  } else {
    const QString arret = QStringLiteral("Arrêt du logiciel");
    programme_.journalise(arret);
    programme_.note_etat(EtatPontex::arrete_utilisateur, arret);
    programme_.termine();
  }
}

void outils::closeEvent(QCloseEvent* e) {
  // Each of the three buttons ends the program; a close request from the
  // window manager is none of them and is ignored.
  e->ignore();
}

void outils::reject() {
  // Escape does not close the window either.
}

void outils::prevoit_action(ActionTest action) { actions_de_test().prevoit(std::move(action)); }
void outils::met_action_par_defaut(ActionTest action) {
  actions_de_test().met_par_defaut(std::move(action));
}
void outils::oublie_actions() { actions_de_test().oublie(); }

QString texte_parametrage(std::string_view contenu, bool utf8) {
  const std::string texte = lignes_parametrage(contenu);
  return utf8 ? QString::fromStdString(texte) : depuis_1252(texte);
}

QString modele_parametrage() {
  // The same file is what an installed system copies into a new working
  // folder.
  QFile modele(QStringLiteral(":/pontex/modele_Pontex.wdo"));
  if (!modele.open(QIODevice::ReadOnly)) return {};
  const QByteArray octets = modele.readAll();
  return texte_parametrage(std::string_view(octets.constData(), std::size_t(octets.size())), true);
}

}  // namespace pontex::fenetres

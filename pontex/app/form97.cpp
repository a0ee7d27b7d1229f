#include "pontex/app/form97.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include "pontex/app/dossier_affiche.h"
#include "pontex/fenetres/actions_test.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/icc.h"
#include "pontex/fenetres/texte_1252.h"

namespace pontex::fenetres {

namespace {

ActionsPrevues<form97>& actions_de_test() {
  static ActionsPrevues<form97> prevues;
  return prevues;
}

}  // namespace

form97::form97(ValeursDialogue& valeurs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), valeurs_(valeurs) {
  setObjectName(QStringLiteral("form97"));
  setModal(true);
  setFixedSize(en_pixels(6030), en_pixels(5550));

  auto* fond = new QLabel(this);
  fond->setPixmap(icc::fond_dialogue());
  fond->setGeometry(0, 0, icc::fond_dialogue().width(), icc::fond_dialogue().height());

  Label2 = cree_label(this, QStringLiteral("Vorlane"), rect_twips(1380, 30, 3315, 285),
                      police_arial(11.25, true), Qt::AlignHCenter | Qt::AlignTop);
  Label1 = cree_label(this, QString(), rect_twips(600, 570, 4845, 2385), police_arial(15.75));
  for (QLabel* l : {Label1, Label2}) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    l->setPalette(p);
  }

  bt_oui = new ImageClic(this);
  place_twips(bt_oui, 4740, 4290, 960, 960);
  bt_no = new ImageClic(this);
  place_twips(bt_no, 270, 4290, 960, 960);
  // Tab goes from one button to the other, Enter or Space answers with the
  // one framed; Enter elsewhere is yes and Escape no, as always.
  bt_no->met_clavier(QStringLiteral("Non"));
  bt_oui->met_clavier(QStringLiteral("Oui"));
  setTabOrder(bt_no, bt_oui);
  connect(bt_oui, &ImageClic::clic, this, &form97::bt_oui_Click);
  connect(bt_no, &ImageClic::clic, this, &form97::bt_no_Click);
}

void form97::montre(ValeursDialogue& valeurs, QWidget* parent) {
  form97 dialogue(valeurs, parent);
  dialogue.Form_Load();
  // Centred on the screen, not on the window that asks.
  QScreen* ecran = QGuiApplication::primaryScreen();
  if (ecran) {
    QRect g = ecran->geometry();
    dialogue.move(g.left() + (g.width() - dialogue.width()) / 2,
                  g.top() + (g.height() - dialogue.height()) / 2);
  }
  actions_de_test().lance_sur(dialogue);
  dialogue.exec();
}

void form97::Form_Load() {
  bt_oui->setPixmap(icc::oui());
  bt_no->setPixmap(icc::croix());
  // The message's lines end with CR LF; the label breaks lines at LF.
  QString texte = valeurs_.message;
  texte.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Label1->setText(texte);
  const bool question = valeurs_.mode == ModeDialogue::question;
  bt_no->setVisible(question);
  bt_oui->setAccessibleName(question ? QStringLiteral("Oui") : QStringLiteral("OK"));
  Label1->setAccessibleName(texte);
  // The answer Enter always gave has the focus first.
  bt_oui->setFocus();
  QCoreApplication::processEvents();
}

void form97::bt_oui_Click() { repond(ModeDialogue::oui); }
void form97::bt_no_Click() { repond(ModeDialogue::non); }

void form97::repond(ModeDialogue reponse) {
  valeurs_.message.clear();
  valeurs_.mode = reponse;
  done(reponse == ModeDialogue::oui ? QDialog::Accepted : QDialog::Rejected);
}

void form97::Form_KeyPress(int KeyAscii) {
  if (KeyAscii == 13) {
    bt_oui_Click();
  } else if (KeyAscii == 27) {
    bt_no_Click();
  }
}

void form97::keyPressEvent(QKeyEvent* e) {
  // The dialog sees every key before its controls do.
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Form_KeyPress(13);
      break;
    case Qt::Key_Escape:
      Form_KeyPress(27);
      break;
    default:
      break;
  }
  e->accept();
}

void form97::closeEvent(QCloseEvent* e) {
  // A close request from the window manager is the cancel answer: the
  // caller always gets an answer, never a dialog gone without one.
  e->ignore();
  if (isVisible()) bt_no_Click();
}

void form97::reject() { bt_no_Click(); }

void form97::prevoit_action(ActionTest action) { actions_de_test().prevoit(std::move(action)); }
void form97::met_action_par_defaut(ActionTest action) {
  actions_de_test().met_par_defaut(std::move(action));
}
void form97::oublie_actions() { actions_de_test().oublie(); }

void affiche_message(std::int16_t code_message, ValeursDialogue& dialogue,
                     const QString& saut_ligne, const std::string& dossier_caisse,
                     QWidget* parent) {
  if (code_message != -1) return;
  dialogue.mode = ModeDialogue::avis;
  dialogue.message = QStringLiteral("Aucune donnée de caisse dans le repertoire indiqué !") +
                     saut_ligne + saut_ligne + dossier_caisse_signale(dossier_caisse);
  form97::montre(dialogue, parent);
}

QString dossier_caisse_signale(const std::string& dossier_caisse) {
  // The loader turns an empty value into a lone backslash, which read "/"
  // on Linux, the root of the disk.
  std::string_view reste = dossier_caisse;
  if (!reste.empty() && reste.back() == '\\') reste.remove_suffix(1);
  if (reste.find_first_not_of(' ') == std::string_view::npos) {
    return QStringLiteral("Répertoire de caisse non renseigné (#FICBASE#)");
  }
  return dossier_affiche(dossier_caisse);
}

QString texte_sans_donnees_caisse(const std::string& dossier_caisse) {
  return QStringLiteral("Aucune donnée de caisse dans le repertoire indiqué ! ") +
         dossier_caisse_signale(dossier_caisse);
}

}  // namespace pontex::fenetres

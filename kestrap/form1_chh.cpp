#include "kestrap/form1_chh.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QStringEncoder>
#include <algorithm>
#include <utility>

#include "kestrap/creation_dossiers.h"
#include "kestrap/liste_kestrap.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/systeme.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/liste_fichiers.h"
#include "pontex/shared/processus.h"

namespace kestrap {

using pontex::fenetres::charge_image;
using pontex::fenetres::depuis_1252;
using pontex::fenetres::police_arial;
using pontex::fenetres::rect_twips;

namespace {

// The outlines drawn around the status and the two explanations: 3 pixels
// wide, their corners a sixth of their height.
pontex::fenetres::Forme* cree_contour(QWidget* parent, const QRect& contour) {
  return new pontex::fenetres::Forme(parent, contour, 3, std::nullopt, 6);
}

// The button pictures built into the program, by their holder number.
// Holders 101 and 133 hold pictures no button shows.
QPixmap image_p11(int indice) {
  switch (indice) {
    case 67:
      return QPixmap(QStringLiteral(":/kestrap/bouton_67.png"));
    case 68:
      return QPixmap(QStringLiteral(":/kestrap/bouton_68.png"));
    case 108:
      return QPixmap(QStringLiteral(":/kestrap/bouton_108.png"));
    default:
      return QPixmap();
  }
}

// An installed system keeps the shop's working folder (the current folder)
// apart from the programs: the files that ship with kestrap (list file,
// entry file) are taken from beside the program when the current folder has
// none. On Windows the program's folder comes first: every session may
// write to the shop's folder, and a list file dropped there would choose
// the command "Fin" runs and the entry copied into the Startup folder.
std::string a_cote_du_programme(const std::string& nom) {
#ifndef _WIN32
  if (pontex::existe_fichier(nom)) return nom;
#endif
  QStringEncoder encodeur("windows-1252");
  const QByteArray dossier =
      encodeur(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
  if (encodeur.hasError()) return nom;
  const std::string voisin = dossier.toStdString() + "\\" + nom;
#ifdef _WIN32
  // A folder run as it is (programs and the shop's files in one place)
  // finds the same file either way.
  if (!pontex::existe_fichier(voisin)) return nom;
#endif
  return voisin;
}

QLabel* cree_label(QWidget* parent, const QString& texte, const QRect& zone) {
  auto* label = new QLabel(texte, parent);
  label->setGeometry(zone);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QToolButton* cree_bouton(QWidget* parent, const QString& texte, const QRect& zone) {
  auto* bouton = new QToolButton(parent);
  bouton->setText(texte);
  bouton->setGeometry(zone);
  bouton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bouton->setIconSize(QSize(32, 32));
  bouton->setFocusPolicy(Qt::StrongFocus);
  QPalette blanc = bouton->palette();
  blanc.setColor(QPalette::Button, Qt::white);
  bouton->setPalette(blanc);
  return bouton;
}

// The two explanations take three lines. Arial's line spacing on the
// workstation is one pixel less than here, and the third line would lose its
// lower part: the label may grow downwards to show its whole text, as long
// as it stays inside the frame drawn around it.
void laisse_place_au_texte(QLabel* label, const QWidget* cadre) {
  const int limite = cadre->geometry().bottom() - 3 - label->y();
  const int besoin = label->heightForWidth(label->width());
  if (besoin > label->height()) label->resize(label->width(), std::min(besoin, limite));
}

const QColor vert_active(0, 192, 0);
const QColor rouge_desactive(255, 0, 0);

}  // namespace

ServicesSysteme systeme_reel() {
  return ServicesSysteme{
      [] { return pontex::dossier_demarrage(); },
      // "Fin" brings back the Pontex beside kestrap, never one of the
      // current folder.
      [](std::string_view ligne) {
        return pontex::demarre_commande(pontex::fenetres::commande_voisine(ligne));
      },
      [](int code) { pontex::termine_processus(code); },
  };
}

Form1_chh::Form1_chh(ServicesSysteme systeme)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Image1(cree_label(this, QString(), rect_twips(360, 330, 585, 525))),
      Label3(cree_label(this, QStringLiteral("Label3"), rect_twips(1110, 390, 6375, 435))),
      Shape1(cree_contour(this, rect_twips(210, 210, 7515, 765))),
      Label6(cree_label(this, QStringLiteral(" Statut du lancement automatique :"),
                        rect_twips(300, 1230, 7425, 435))),
      Label7(cree_label(this, QStringLiteral("Label7"), rect_twips(6030, 1290, 1485, 285))),
      Command2(cree_bouton(this, QStringLiteral("Activer"), rect_twips(240, 1950, 1695, 1125))),
      Shape2(cree_contour(this, rect_twips(2040, 1950, 5685, 1095))),
      Label4(cree_label(this,
                        QStringLiteral("Le logiciel sera lancé au démmarage de Windows, vous "
                                       "n'aurez pas besoin de le lancer manuellement."),
                        rect_twips(2220, 2070, 5145, 765))),
      Command3(cree_bouton(this, QStringLiteral("Annuler"), rect_twips(240, 3210, 1695, 1125))),
      Shape3(cree_contour(this, rect_twips(2040, 3210, 5685, 1095))),
      Label5(cree_label(this,
                        QStringLiteral("Le logiciel ne sera plus lancé au démmarage de Windows, "
                                       "vous devrez le lancer manuellement lorsque vous "
                                       "souhaiterez l'utiliser."),
                        rect_twips(2250, 3330, 5415, 765))),
      Command1(cree_bouton(this, QStringLiteral("Fin"), rect_twips(6420, 4890, 1305, 1095))),
      systeme_(std::move(systeme)) {
  // Fixed single border and a caption, without close, minimise or maximise
  // buttons: "Fin" is the way out.
  setWindowTitle(QStringLiteral("Installation au demarrage"));
  setFixedSize(pontex::fenetres::en_pixels(7995), pontex::fenetres::en_pixels(6345));
  setFont(police_arial(12));
  QPalette blanc = palette();
  blanc.setColor(QPalette::Window, Qt::white);
  setPalette(blanc);
  setAutoFillBackground(true);

  Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label3->setFont(police_arial(14.25));

  Label6->setFont(police_arial(14.25));
  Label6->setFrameStyle(QFrame::Box | QFrame::Plain);
  Label6->setLineWidth(1);
  Label6->setAutoFillBackground(true);

  // The status lies inside the right end of Label6's box, over it.
  Label7->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label7->setFont(police_arial(15.75, true));
  Label7->raise();

  Label4->setWordWrap(true);
  Label5->setWordWrap(true);
  laisse_place_au_texte(Label4, Shape2);
  laisse_place_au_texte(Label5, Shape3);

  setTabOrder(Command1, Command2);
  setTabOrder(Command2, Command3);

  connect(Command1, &QToolButton::clicked, this, &Form1_chh::Command1_Click);
  connect(Command2, &QToolButton::clicked, this, &Form1_chh::Command2_Click);
  connect(Command3, &QToolButton::clicked, this, &Form1_chh::Command3_Click);
}

void Form1_chh::Form_Load() {
  // 1. The picture from the current folder; missing, the area stays empty.
  charge_image(Image1, QStringLiteral("Kestrap.ico"));

  // 2. The button pictures.
  Command1->setIcon(image_p11(108));
  Command2->setIcon(image_p11(67));
  Command3->setIcon(image_p11(68));

  // 3. The list file, read afresh: a value it no longer gives is gone (the
  //    title label keeps what it shows).
  const ListeKestrap liste = lit_liste(a_cote_du_programme("kestrap.wdo"));
  nom_entree_ = liste.nom_entree.value_or(std::string());
  commande_retour_ = liste.commande_retour.value_or(std::string());
  if (liste.titre) Label3->setText(depuis_1252(*liste.titre));

  // 4. The Startup folder, asked afresh: the user's session may change it.
  dossier_demarrage_ = systeme_.dossier_demarrage();

  // 5. Presence check: the entry name is a pattern over the folder's files,
  //    hidden files left out. A folder that does not exist holds nothing;
  //    the list must not fall back on the current folder, which holds the
  //    entry file itself.
  bool present = false;
  if (dossier_demarrage_ && entree_utilisable()) {
    pontex::ListeFichiers File1(nom_entree_);
    present = File1.met_dossier(*dossier_demarrage_).ok() && !File1.noms().empty();
  }

  // 6. The status.
  QPalette couleur = Label7->palette();
  couleur.setColor(QPalette::WindowText, present ? vert_active : rouge_desactive);
  Label7->setPalette(couleur);
  Label7->setText(present ? QStringLiteral("Activé") : QStringLiteral("Désactivé"));
}

void Form1_chh::affiche() {
  if (const QScreen* ecran = QGuiApplication::primaryScreen()) {
    const QRect surface = ecran->geometry();
    move(surface.x() + (surface.width() - width()) / 2,
         surface.y() + (surface.height() - height()) / 2);
  }
  show();
  Command1->setFocus();
}

void Form1_chh::Command1_Click() {
  // Without a return command the tool only ends. A command that cannot be
  // started changes nothing: the tool ends all the same.
  if (!commande_retour_.empty()) (void)systeme_.demarre_commande(commande_retour_);
  // The tool holds no file open: the list file is read whole and closed at
  // each load.
  systeme_.termine_processus(0);
}

void Form1_chh::Command2_Click() {
  if (dossier_demarrage_ && entree_utilisable() && cree_dossiers(*dossier_demarrage_)) {
    // Replaces an entry already there. A missing entry file copies nothing,
    // and the status below stays as the folder is.
    (void)pontex::copie_fichier(a_cote_du_programme(nom_entree_),
                                *dossier_demarrage_ + "\\" + nom_entree_);
  }
  Form_Load();
}

void Form1_chh::Command3_Click() {
  if (dossier_demarrage_ && entree_utilisable()) {
    // The entry name is a pattern here too; hidden files are never deleted.
    (void)pontex::supprime_motif(*dossier_demarrage_ + "\\" + nom_entree_);
  }
  Form_Load();
}

bool Form1_chh::entree_utilisable() const {
  return !nom_entree_.empty() && nom_entree_.find_first_of("\\/") == std::string::npos;
}

void Form1_chh::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command1_Click();
}

void Form1_chh::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* bouton = qobject_cast<QAbstractButton*>(focusWidget());
        bouton != nullptr && bouton->window() == this) {
      bouton->click();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

}  // namespace kestrap

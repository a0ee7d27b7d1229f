#include "relvano/form1.h"

#include <qdrawutil.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "pontex/fenetres/controles.h"

namespace relvano {

namespace {

using pontex::fenetres::en_pixels;
using pontex::fenetres::police_arial;

// Client area 2955 x 2580 twips inside a fixed dialog frame of 45 twips
// (3 pixels) on each side: 3045 x 2670 twips in all.
constexpr int cadre = 3;
constexpr int largeur_client = en_pixels(2955);
constexpr int hauteur_client = en_pixels(2580);

// The splash is centred on a fixed height of 9000 twips (600 pixels), not
// on the screen: it always stands at the same height, whatever the screen.
constexpr int hauteur_reference = 9000;

}  // namespace

Form1::Form1(pontex::fenetres::Systeme& systeme, pontex::Fenetre_lancement mode)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      zone_client_(new QWidget(this)),
      Label1(new QLabel(QStringLiteral("Réinitialisation"), zone_client_)),
      Image1(new QLabel(zone_client_)),
      Timer1(new QTimer(this)),
      systeme_(systeme),
      mode_(mode) {
  // No title bar, no close box: the user has nothing to act on.
  setWindowTitle(QString());
  setFixedSize(largeur_client + 2 * cadre, hauteur_client + 2 * cadre);

  zone_client_->setGeometry(cadre, cadre, largeur_client, hauteur_client);
  QPalette blanc = zone_client_->palette();
  blanc.setColor(QPalette::Window, Qt::white);
  zone_client_->setPalette(blanc);
  zone_client_->setAutoFillBackground(true);

  Label1->setGeometry(en_pixels(270), en_pixels(270), en_pixels(2475), en_pixels(345));
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1->setFont(police_arial(14.25));
  QPalette texte = Label1->palette();
  texte.setColor(QPalette::Window, Qt::white);
  texte.setColor(QPalette::WindowText, texte.color(QPalette::ButtonText));
  Label1->setPalette(texte);
  Label1->setAutoFillBackground(true);

  // Empty until the load; it takes the picture's own size.
  Image1->setGeometry(en_pixels(570), en_pixels(900), en_pixels(1755), en_pixels(1230));

  // Armed but silent until the load gives it its interval. A precise timer:
  // Pontex must have had its two seconds to end before it is started again.
  Timer1->setTimerType(Qt::PreciseTimer);
  connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::Form_Load() {
  // 1. The picture, by its bare name in the current folder (or beside the program,
  //    for an installed system). A missing or
  //    unreadable file leaves the box empty; the restart goes on.
  pontex::fenetres::charge_image(Image1, QStringLiteral("qz_img_024.gif"));

  // 2 and 3. Centred horizontally on the screen; the top edge from the fixed
  //    reference height, never from the screen's height.
  const QScreen* ecran = QGuiApplication::primaryScreen();
  const QRect surface = ecran != nullptr ? ecran->geometry() : QRect(0, 0, 800, 600);
  const int gauche = surface.x() + (surface.width() - width()) / 2;
  const int haut = surface.y() + en_pixels((hauteur_reference - height() * 15) / 2);
  move(gauche, haut);

  // 4. One pass of the pending window events.
  QCoreApplication::processEvents();

  // 5. The two seconds count from here.
  Timer1->start(2000);
}

void Form1::affiche() {
  // A restart nobody asked for at this moment shows the splash without
  // taking the keyboard from the till.
  // A restart nobody asked for at this moment shows the splash below the
  // window in use, without taking the keyboard from the till.
  if (mode_ != pontex::Fenetre_lancement::normale) {
    pontex::fenetres::montre_sans_couvrir(*this,
                                          mode_ == pontex::Fenetre_lancement::reduite_sans_focus);
  } else {
    show();
  }
}

void Form1::Timer1_Timer() {
  // One start per run, even if the end below were to return.
  Timer1->stop();
  // A failed start is dropped: there is nothing the user could do about it
  // on this splash, and the relauncher must end in any case.
  (void)systeme_.demarre("Pontex.exe", mode_);
  // The relauncher holds no file open: the picture was read and closed at
  // load time.
  systeme_.termine();
}

void Form1::paintEvent(QPaintEvent*) {
  // The raised dialog frame around the white client area.
  QPainter peintre(this);
  peintre.fillRect(rect(), palette().button());
  qDrawWinPanel(&peintre, rect(), palette(), false);
}

void Form1::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace relvano

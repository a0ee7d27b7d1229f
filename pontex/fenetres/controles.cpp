#include "pontex/fenetres/controles.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <algorithm>

#ifdef _WIN32
// The outlines below use std::min, which windows.h would otherwise define
// as a macro.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace pontex::fenetres {

namespace {

// To the bottom of the stack, without activating it.
void mets_dessous(QWidget& fenetre) {
#ifdef _WIN32
  ::SetWindowPos(reinterpret_cast<HWND>(fenetre.winId()), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
#else
  fenetre.lower();
#endif
}

}  // namespace

void montre_sans_couvrir(QWidget& fenetre, bool reduite) {
  fenetre.setAttribute(Qt::WA_ShowWithoutActivating);
  if (reduite) {
    fenetre.showMinimized();
    return;
  }
  fenetre.show();
  mets_dessous(fenetre);
  // An X11 window manager stacks a new window when it takes it in, which may
  // come after the request above: asked again once it has. A window the
  // user has meanwhile clicked (active) is left where it is.
  QPointer<QWidget> garde(&fenetre);
  for (const int delai : {100, 500, 1500}) {
    QTimer::singleShot(delai, &fenetre, [garde] {
      if (garde && garde->isVisible() && !garde->isActiveWindow() && !garde->isMinimized())
        mets_dessous(*garde);
    });
  }
}

QRect rect_twips(int gauche, int haut, int largeur, int hauteur) {
  return QRect(en_pixels(gauche), en_pixels(haut), en_pixels(largeur), en_pixels(hauteur));
}

void place_twips(QWidget* w, int gauche, int haut, int largeur, int hauteur) {
  w->setGeometry(rect_twips(gauche, haut, largeur, hauteur));
}

QFont police_arial(double points, bool gras) {
  QFont f;
  f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  f.setPointSizeF(points);
  f.setBold(gras);
  return f;
}

QFont police_courier(double points) {
  QFont f;
  f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
  f.setStyleHint(QFont::TypeWriter);
  f.setPointSizeF(points);
  return f;
}

QLabel* cree_label(QWidget* parent, const QString& texte, QRect rect, const QFont& police,
                   Qt::Alignment alignement) {
  auto* l = new QLabel(texte, parent);
  l->setGeometry(rect);
  l->setFont(police);
  l->setAlignment(alignement);
  l->setWordWrap(true);
  l->setTextFormat(Qt::PlainText);
  return l;
}

void met_fond(QLabel* label, const QColor& fond) {
  QPalette p = label->palette();
  p.setColor(QPalette::Window, fond);
  label->setPalette(p);
  label->setAutoFillBackground(true);
}

void met_bordure(QLabel* label) {
  label->setFrameStyle(QFrame::Box | QFrame::Plain);
  label->setLineWidth(1);
}

void charge_image(QLabel* image, const QString& nom) {
  // The working folder's picture first; an installed system keeps the shop's
  // folder apart from the programs, and then the one beside the program is
  // used.
  QPixmap pixmap;
  if (pixmap.load(nom) ||
      pixmap.load(QCoreApplication::applicationDirPath() + QLatin1Char('/') + nom)) {
    image->setPixmap(pixmap);
    image->resize(pixmap.size());
  } else {
    image->clear();
  }
}

void Minuteur::met_intervalle(int ms) {
  if (ms <= 0) {
    stop();
  } else {
    start(ms);
  }
}

ImageClic::ImageClic(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setFocusPolicy(Qt::NoFocus);
}

void ImageClic::met_clavier(const QString& nom) {
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(nom);
}

void ImageClic::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A key held down must not end, restart or quit twice.
      e->accept();
      if (!e->isAutoRepeat()) emit clic();
      return;
    default:
      // Escape and the rest go on to the window (the dialog's Escape).
      QLabel::keyPressEvent(e);
  }
}

void ImageClic::paintEvent(QPaintEvent* e) {
  QLabel::paintEvent(e);
  if (!hasFocus()) return;
  // A frame that shows on the red and white pictures alike, and on a
  // black and white screenshot: a dark solid line with a light one inside.
  QPainter p(this);
  const QRect r = rect().adjusted(1, 1, -2, -2);
  p.setPen(QPen(QColor(0, 0, 160), 2));
  p.drawRect(r);
  p.setPen(QPen(Qt::white, 1, Qt::DotLine));
  p.drawRect(r.adjusted(2, 2, -2, -2));
}

void ImageClic::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) enfonce_ = true;
  e->accept();
}

void ImageClic::mouseReleaseEvent(QMouseEvent* e) {
  const bool clique =
      enfonce_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
  enfonce_ = false;
  e->accept();
  if (clique) emit clic();
}

Forme::Forme(QWidget* parent, QRect rect, int bordure, std::optional<QColor> remplissage,
             qreal part_rayon)
    : QWidget(parent), bordure_(bordure), remplissage_(remplissage), part_rayon_(part_rayon) {
  setGeometry(rect);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
}

void Forme::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal demi = bordure_ / 2.0;
  QRectF r = QRectF(rect()).adjusted(demi, demi, -demi, -demi);
  const qreal rayon = std::min(r.width(), r.height()) / part_rayon_;
  p.setPen(QPen(Qt::black, bordure_));
  p.setBrush(remplissage_ ? QBrush(*remplissage_) : Qt::NoBrush);
  p.drawRoundedRect(r, rayon, rayon);
}

void habille_fenetre_principale(QWidget& fenetre) {
  QPalette p = fenetre.palette();
  p.setColor(QPalette::Window, Qt::white);
  fenetre.setPalette(p);
  fenetre.setAutoFillBackground(true);
  fenetre.setFont(police_arial(12));
  fenetre.setFixedSize(en_pixels(15270), en_pixels(10650));
}

void place_fenetre(QWidget& fenetre) {
  // Outer size 15360 x 11070 twips: a client area of 15270 x 10650 inside a
  // frame of 90 x 420 twips. The window manager draws the frame here, so the
  // client area is what is set; the left edge centres the frame.
  const QSize client(en_pixels(15270), en_pixels(10650));
  fenetre.setFixedSize(client);
  int largeur_cadre = fenetre.frameGeometry().width();
  if (!fenetre.isVisible() || largeur_cadre < client.width()) {
    largeur_cadre = en_pixels(15360);
  }
  QScreen* ecran = fenetre.screen() ? fenetre.screen() : QGuiApplication::primaryScreen();
  const int largeur_ecran = ecran ? ecran->geometry().width() : largeur_cadre;
  const int gauche = ecran ? ecran->geometry().left() : 0;
  const int haut = ecran ? ecran->geometry().top() : 0;
  fenetre.move(gauche + (largeur_ecran - largeur_cadre) / 2, haut);
  fenetre.raise();
}

}  // namespace pontex::fenetres

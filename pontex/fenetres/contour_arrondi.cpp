#include "kestrap/contour_arrondi.h"

#include <QPainter>
#include <algorithm>

namespace kestrap {

ContourArrondi::ContourArrondi(QWidget* parent, const QRect& contour, int epaisseur)
    : QWidget(parent), epaisseur_(epaisseur) {
  setGeometry(contour);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
}

void ContourArrondi::paintEvent(QPaintEvent*) {
  QPainter peintre(this);
  peintre.setRenderHint(QPainter::Antialiasing);
  peintre.setPen(QPen(palette().color(QPalette::WindowText), epaisseur_));
  peintre.setBrush(Qt::NoBrush);
  const qreal demi = epaisseur_ / 2.0;
  const QRectF trait = QRectF(rect()).adjusted(demi, demi, -demi, -demi);
  const qreal rayon = std::min(width(), height()) / 6.0;
  peintre.drawRoundedRect(trait, rayon, rayon);
}

}  // namespace kestrap

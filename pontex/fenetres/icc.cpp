#include "pontex/fenetres/icc.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <numbers>

#include "pontex/fenetres/controles.h"

namespace pontex::fenetres {

namespace {

constexpr int cote = 64;

QPixmap toile(int largeur = cote, int hauteur = cote) {
  QPixmap p(largeur, hauteur);
  p.fill(Qt::transparent);
  return p;
}

void prepare(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// A round glossy button of the given colour, filling most of the square.
void bouton_rond(QPainter& p, QColor couleur, QRectF r) {
  QRadialGradient g(r.center() - QPointF(r.width() * 0.15, r.height() * 0.2), r.width() * 0.7);
  g.setColorAt(0.0, couleur.lighter(160));
  g.setColorAt(0.55, couleur);
  g.setColorAt(1.0, couleur.darker(170));
  p.setPen(QPen(couleur.darker(220), 1.5));
  p.setBrush(g);
  p.drawEllipse(r);
  // Shine on the upper half.
  QRectF reflet(r.left() + r.width() * 0.2, r.top() + r.height() * 0.06, r.width() * 0.6,
                r.height() * 0.38);
  QLinearGradient gl(reflet.topLeft(), reflet.bottomLeft());
  gl.setColorAt(0.0, QColor(255, 255, 255, 150));
  gl.setColorAt(1.0, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(gl);
  p.drawEllipse(reflet);
}

QPixmap dessine_croix() {
  QPixmap px = toile();
  QPainter p(&px);
  prepare(p);
  bouton_rond(p, QColor(205, 30, 30), QRectF(3, 3, 58, 58));
  QPen trait(Qt::white, 8, Qt::SolidLine, Qt::RoundCap);
  p.setPen(trait);
  p.drawLine(QPointF(21, 21), QPointF(43, 43));
  p.drawLine(QPointF(43, 21), QPointF(21, 43));
  return px;
}

// A gear wheel: `dents` teeth around a disc, a hole in the middle.
QPainterPath roue(QPointF centre, qreal rayon, int dents) {
  QPainterPath chemin;
  const qreal creux = rayon * 0.78;
  const int points = dents * 4;
  for (int i = 0; i <= points; ++i) {
    const qreal angle = 2 * std::numbers::pi * i / points;
    const qreal r = (i % 4 == 0 || i % 4 == 1) ? rayon : creux;
    QPointF pt(centre.x() + r * std::cos(angle), centre.y() + r * std::sin(angle));
    if (i == 0) {
      chemin.moveTo(pt);
    } else {
      chemin.lineTo(pt);
    }
  }
  chemin.closeSubpath();
  QPainterPath trou;
  trou.addEllipse(centre, rayon * 0.3, rayon * 0.3);
  return chemin.subtracted(trou);
}

void dessine_roue(QPainter& p, QPointF centre, qreal rayon, int dents) {
  QRadialGradient g(centre - QPointF(rayon * 0.3, rayon * 0.3), rayon * 1.3);
  g.setColorAt(0.0, QColor(225, 225, 225));
  g.setColorAt(0.6, QColor(150, 150, 155));
  g.setColorAt(1.0, QColor(90, 90, 95));
  p.setPen(QPen(QColor(60, 60, 65), 1.2));
  p.setBrush(g);
  p.drawPath(roue(centre, rayon, dents));
}

QPixmap dessine_outils() {
  QPixmap px = toile();
  QPainter p(&px);
  prepare(p);
  dessine_roue(p, QPointF(25, 27), 21, 10);
  dessine_roue(p, QPointF(47, 46), 14, 8);
  return px;
}

// A monitor: frame, screen and foot. Returns the screen's rectangle.
QRectF dessine_ecran(QPainter& p, QRectF cadre, const QBrush& fond_ecran) {
  p.setPen(QPen(QColor(50, 50, 55), 1.5));
  QLinearGradient g(cadre.topLeft(), cadre.bottomLeft());
  g.setColorAt(0.0, QColor(200, 200, 205));
  g.setColorAt(1.0, QColor(120, 120, 128));
  p.setBrush(g);
  p.drawRoundedRect(cadre, 4, 4);
  QRectF ecran = cadre.adjusted(5, 5, -5, -8);
  p.setBrush(fond_ecran);
  p.drawRect(ecran);
  // Foot.
  const qreal milieu = cadre.center().x();
  QPolygonF pied;
  pied << QPointF(milieu - 5, cadre.bottom()) << QPointF(milieu + 5, cadre.bottom())
       << QPointF(milieu + 9, cadre.bottom() + 8) << QPointF(milieu - 9, cadre.bottom() + 8);
  p.setBrush(QColor(110, 110, 118));
  p.drawPolygon(pied);
  p.drawRect(QRectF(milieu - 15, cadre.bottom() + 8, 30, 4));
  return ecran;
}

QPixmap dessine_barre_taches() {
  QPixmap px = toile();
  QPainter p(&px);
  prepare(p);
  QLinearGradient bleu(0, 8, 0, 44);
  bleu.setColorAt(0.0, QColor(120, 180, 240));
  bleu.setColorAt(1.0, QColor(30, 90, 170));
  QRectF ecran = dessine_ecran(p, QRectF(4, 4, 56, 44), bleu);
  // The taskbar along the screen's bottom edge.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(20, 40, 80));
  p.drawRect(QRectF(ecran.left(), ecran.bottom() - 5, ecran.width(), 5));
  // Red arrow from the top-right towards the bottom-left corner.
  QPen fleche(QColor(215, 20, 20), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(fleche);
  const QPointF pointe(ecran.left() + 6, ecran.bottom() - 8);
  p.drawLine(QPointF(ecran.right() - 8, ecran.top() + 6), pointe);
  p.setBrush(QColor(215, 20, 20));
  QPolygonF tete;
  tete << pointe + QPointF(-3, 3) << pointe + QPointF(13, 1) << pointe + QPointF(-1, -13);
  p.drawPolygon(tete);
  return px;
}

QPixmap dessine_fin() {
  QPixmap px = toile();
  QPainter p(&px);
  prepare(p);
  const QRectF carre(4, 4, 56, 56);
  QLinearGradient g(carre.topLeft(), carre.bottomLeft());
  g.setColorAt(0.0, QColor(240, 80, 70));
  g.setColorAt(0.5, QColor(200, 25, 25));
  g.setColorAt(1.0, QColor(140, 10, 10));
  p.setPen(QPen(QColor(110, 0, 0), 1.5));
  p.setBrush(g);
  p.drawRoundedRect(carre, 12, 12);
  // Power symbol: an open ring and a bar through its gap.
  QPen trait(Qt::white, 6, Qt::SolidLine, Qt::RoundCap);
  p.setPen(trait);
  p.setBrush(Qt::NoBrush);
  const QRectF anneau(17, 19, 30, 30);
  p.drawArc(anneau, (90 + 35) * 16, (360 - 70) * 16);
  p.drawLine(QPointF(32, 13), QPointF(32, 32));
  return px;
}

QPixmap dessine_demarrage() {
  QPixmap px = toile();
  QPainter p(&px);
  prepare(p);
  QLinearGradient bureau(0, 8, 0, 44);
  bureau.setColorAt(0.0, QColor(70, 150, 220));
  bureau.setColorAt(1.0, QColor(40, 120, 90));
  QRectF ecran = dessine_ecran(p, QRectF(4, 4, 56, 44), bureau);
  // A start bar with its start button and two desktop icons.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 40, 70));
  p.drawRect(QRectF(ecran.left(), ecran.bottom() - 5, ecran.width(), 5));
  p.setBrush(QColor(60, 170, 60));
  p.drawRoundedRect(QRectF(ecran.left() + 1, ecran.bottom() - 4.5, 9, 4), 1.5, 1.5);
  p.setBrush(QColor(250, 240, 200));
  p.drawRect(QRectF(ecran.left() + 4, ecran.top() + 4, 6, 5));
  p.drawRect(QRectF(ecran.left() + 4, ecran.top() + 12, 6, 5));
  return px;
}

QPixmap dessine_oui() {
  QPixmap px = toile();
  QPainter p(&px);
  prepare(p);
  bouton_rond(p, QColor(40, 170, 50), QRectF(3, 3, 58, 58));
  QFont f = police_arial(12, true);
  f.setPixelSize(22);  // the picture's own size, whatever the screen
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, cote, cote), Qt::AlignCenter, QStringLiteral("OK"));
  return px;
}

QPixmap dessine_fond_dialogue() {
  QPixmap px(400, 368);
  px.fill(Qt::white);
  QPainter p(&px);
  prepare(p);
  const QRectF tout(0, 0, 400, 368);
  QLinearGradient corps(tout.topLeft(), tout.bottomLeft());
  corps.setColorAt(0.0, QColor(40, 70, 120));
  corps.setColorAt(1.0, QColor(15, 30, 60));
  p.setPen(Qt::NoPen);
  p.setBrush(corps);
  p.drawRect(tout);
  // Title line, behind the dialog's own title text.
  QLinearGradient titre(0, 0, 0, 24);
  titre.setColorAt(0.0, QColor(90, 130, 190));
  titre.setColorAt(1.0, QColor(25, 50, 95));
  p.setBrush(titre);
  p.drawRect(QRectF(0, 0, 400, 24));
  p.setPen(QPen(QColor(180, 200, 230), 1));
  p.drawLine(QPointF(0, 24.5), QPointF(400, 24.5));
  // A light band across the button row.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 25));
  p.drawRect(QRectF(0, 276, 400, 80));
  p.setPen(QPen(QColor(120, 150, 200), 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(tout.adjusted(1, 1, -1, -1));
  return px;
}

// Two arrows turning round a cash drawer: the exchange with the server.
QPixmap dessine_icone(int taille) {
  QPixmap px = toile(taille, taille);
  QPainter p(&px);
  prepare(p);
  p.scale(taille / 64.0, taille / 64.0);
  p.setPen(QPen(QColor(20, 60, 120), 2));
  QLinearGradient g(0, 0, 0, 64);
  g.setColorAt(0.0, QColor(90, 160, 230));
  g.setColorAt(1.0, QColor(25, 80, 160));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  // Cash drawer.
  p.setPen(QPen(QColor(40, 40, 40), 1.5));
  p.setBrush(QColor(235, 235, 235));
  p.drawRect(QRectF(20, 26, 24, 14));
  p.drawLine(QPointF(26, 33), QPointF(38, 33));
  // Arrows.
  QPen fleche(QColor(255, 200, 40), 4, Qt::SolidLine, Qt::RoundCap);
  p.setPen(fleche);
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(10, 10, 44, 44), 30 * 16, 120 * 16);
  p.drawArc(QRectF(10, 10, 44, 44), 210 * 16, 120 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 200, 40));
  QPolygonF t1;
  t1 << QPointF(7, 30) << QPointF(17, 30) << QPointF(12, 38);
  QPolygonF t2;
  t2 << QPointF(47, 34) << QPointF(57, 34) << QPointF(52, 26);
  p.drawPolygon(t1);
  p.drawPolygon(t2);
  return px;
}

}  // namespace

// The pictures live as long as the process: they are never destroyed, so
// none outlives the application object that painting needs.
const QPixmap& icc::croix() {
  static const QPixmap& p = *new QPixmap(dessine_croix());
  return p;
}
const QPixmap& icc::outils() {
  static const QPixmap& p = *new QPixmap(dessine_outils());
  return p;
}
const QPixmap& icc::barre_taches() {
  static const QPixmap& p = *new QPixmap(dessine_barre_taches());
  return p;
}
const QPixmap& icc::fin() {
  static const QPixmap& p = *new QPixmap(dessine_fin());
  return p;
}
const QPixmap& icc::demarrage() {
  static const QPixmap& p = *new QPixmap(dessine_demarrage());
  return p;
}
const QPixmap& icc::oui() {
  static const QPixmap& p = *new QPixmap(dessine_oui());
  return p;
}
const QPixmap& icc::fond_dialogue() {
  static const QPixmap& p = *new QPixmap(dessine_fond_dialogue());
  return p;
}
const QIcon& icc::icone() {
  static const QIcon& i = *[] {
    auto* icone = new QIcon;
    for (int taille : {16, 24, 32, 48, 64}) icone->addPixmap(dessine_icone(taille));
    return icone;
  }();
  return i;
}

}  // namespace pontex::fenetres

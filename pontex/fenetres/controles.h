#pragma once
// The few kinds of control the three windows of Pontex are built from, with
// the behaviour the shop's users know from the program: picture buttons and
// a transparent click zone that react to a click (press and release on the
// control), rounded frames drawn behind labels, and interval timers where
// the interval 0 means stopped.

#include <QFont>
#include <QLabel>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <optional>

namespace pontex::fenetres {

// Window layouts are kept in twips, the unit the shop's screens were
// designed in: 15 twips make one pixel at 96 dpi. Qt scales the pixels on
// high-dpi screens.
constexpr int en_pixels(int twips) { return twips / 15; }
QRect rect_twips(int gauche, int haut, int largeur, int hauteur);
void place_twips(QWidget* w, int gauche, int haut, int largeur, int hauteur);

// Arial is asked for by name; on Linux fontconfig gives the metric-compatible
// Liberation Sans (and Liberation Mono for Courier New), so texts take the
// room they were laid out for.
QFont police_arial(double points, bool gras = false);
QFont police_courier(double points);

// Shows a window that nobody is waiting for at this moment (the periodic
// restart, the start at login): it takes neither the keyboard nor the top
// of the stack from the window in use, which stays in front; minimised when
// `reduite`. A click on it brings it up as any window.
void montre_sans_couvrir(QWidget& fenetre, bool reduite);

// A label with the given text, font and alignment, no background.
QLabel* cree_label(QWidget* parent, const QString& texte, QRect rect, const QFont& police,
                   Qt::Alignment alignement = Qt::AlignLeft | Qt::AlignTop);
// An opaque label on a background colour.
void met_fond(QLabel* label, const QColor& fond);
// A thin single border.
void met_bordure(QLabel* label);

// A picture file from the current folder shown at its own size from the
// label's corner. A missing or unreadable file leaves the label empty: the
// windows go on without it.
void charge_image(QLabel* image, const QString& nom);

// Interval timer: setting an interval restarts the count from that moment;
// the interval 0 stops it.
class Minuteur : public QTimer {
 public:
  using QTimer::QTimer;
  void met_intervalle(int ms);
  // 0 while stopped.
  int intervalle() const { return isActive() ? interval() : 0; }
};

// A picture (or an empty transparent zone) that reacts to a click: the
// mouse button pressed and released on it.
class ImageClic : public QLabel {
  Q_OBJECT
 public:
  explicit ImageClic(QWidget* parent);

  // Makes it a button of the keyboard too: reached with Tab, framed while
  // it has the focus, pressed with Enter or Space, and named for screen
  // readers (`nom`: what it does, as the shop's user would say it).
  void met_clavier(const QString& nom);

 signals:
  void clic();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  bool enfonce_ = false;
};

// A rounded rectangle drawn behind or around other controls: an outline of
// the given width (in pixels, inside the bounds), or filled with a colour.
// The corner radius is the smaller side divided by `part_rayon`. It never
// takes a click.
class Forme : public QWidget {
 public:
  Forme(QWidget* parent, QRect rect, int bordure, std::optional<QColor> remplissage = {},
        qreal part_rayon = 5);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int bordure_;
  std::optional<QColor> remplissage_;
  qreal part_rayon_;
};

// The look the main window and the settings window share: white
// background, Arial 12 pt, client area 15270 x 10650 twips.
void habille_fenetre_principale(QWidget& fenetre);

// Sizes a window like the main window (outer 15360 x 11070 twips) and puts
// it at the top of the screen, centred across it, in front of the
// program's other windows.
void place_fenetre(QWidget& fenetre);

}  // namespace pontex::fenetres

#pragma once
// A rounded-rectangle outline drawn over the window, framing other controls.
// It has no background and lets every click through to what lies under it.

#include <QWidget>

namespace kestrap {

class ContourArrondi : public QWidget {
 public:
  // `epaisseur`: border width in pixels, drawn inside the given bounds.
  ContourArrondi(QWidget* parent, const QRect& contour, int epaisseur);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int epaisseur_;
};

}  // namespace kestrap

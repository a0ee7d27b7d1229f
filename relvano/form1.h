#pragma once
// The relauncher's only window: a small white splash that says
// "Réinitialisation" while Pontex is given two seconds to end before it is
// started again.

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "pontex/fenetres/systeme.h"
#include "pontex/shared/processus.h"

namespace relvano {

class Form1 : public QWidget {
  Q_OBJECT

  // The white area inside the frame, parent of the controls (declared first:
  // the controls are built in it).
  QWidget* const zone_client_;

 public:
  // `mode`: how this process was started; the splash shows the same way and
  // Pontex is started the same way.
  // `systeme` starts Pontex and ends this process; tests record instead, so
  // that the tick does not end the test runner. It outlives the window.
  Form1(pontex::fenetres::Systeme& systeme, pontex::Fenetre_lancement mode);

  // Picture, place on screen, one pass of pending events, then the
  // two-second count starts.
  void Form_Load();
  // Shows the splash once loaded: normally, or minimised without taking the
  // focus.
  void affiche();
  // Two seconds after the load: starts Pontex once and ends the process.
  void Timer1_Timer();

  QLabel* const Label1;
  QLabel* const Image1;
  QTimer* const Timer1;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The splash cannot be closed: closing it would end the relauncher
  // without restarting Pontex, and the shop's exchange would stop.
  void closeEvent(QCloseEvent* event) override;

 private:
  pontex::fenetres::Systeme& systeme_;
  pontex::Fenetre_lancement mode_;
};

}  // namespace relvano

#pragma once
// The relauncher's only window: a small white splash that says
// "Réinitialisation" while Pontex is given two seconds to end before it is
// started again.

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string_view>

#include "pontex/shared/processus.h"
#include "pontex/shared/resultat.h"

namespace relvano {

// What the splash does to the world outside its window: start Pontex and end
// this process. Tests put recorders here so that the tick does not end the
// test runner.
struct Systeme {
  std::function<pontex::Resultat(std::string_view, pontex::Fenetre_lancement)> demarre_programme;
  std::function<void(int)> termine_processus;
};

// The platform layer's start and end.
Systeme systeme_reel();

class Form1 : public QWidget {
  Q_OBJECT

  // The white area inside the frame, parent of the controls (declared first:
  // the controls are built in it).
  QWidget* const zone_client_;

 public:
  // `mode`: how this process was started; the splash shows the same way and
  // Pontex is started the same way.
  Form1(Systeme systeme, pontex::Fenetre_lancement mode);

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
  Systeme systeme_;
  pontex::Fenetre_lancement mode_;
};

}  // namespace relvano

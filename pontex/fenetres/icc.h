#pragma once
// The picture store of Pontex: the button pictures, the message dialog's
// background and the window icon. They are drawn here in code, once, the
// first time a window asks for them (a QApplication must exist).

#include <QIcon>
#include <QPixmap>

namespace pontex::fenetres {

class icc {
 public:
  // 64 x 64 button pictures.
  static const QPixmap& croix();         // white cross on a red round button: stop / no
  static const QPixmap& outils();        // grey gear wheels: settings
  static const QPixmap& barre_taches();  // monitor, red arrow to its bottom-left corner
  static const QPixmap& fin();           // white power symbol on a red rounded square
  static const QPixmap& demarrage();     // a desktop screen: start with the system
  static const QPixmap& oui();           // green glossy button marked OK
  // The message dialog's background, 400 x 368, with its own title line.
  static const QPixmap& fond_dialogue();
  // The program's icon (16 to 64 pixels).
  static const QIcon& icone();
};

}  // namespace pontex::fenetres

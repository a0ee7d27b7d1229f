// relvano: started by Pontex when it restarts (periodically and after its
// settings are saved). Shows "Réinitialisation" for two seconds, which gives
// the old Pontex time to end, then starts Pontex again and ends.

#include <QApplication>
#include <QIcon>

#include "pontex/fenetres/systeme.h"
#include "pontex/shared/options.h"
#include "relvano/form1.h"
#include "relvano/mode_lancement.h"

int main(int argc, char* argv[]) {
  // Before anything can load a DLL by name: the current folder is the
  // shop's working folder, which any session may write to.
  pontex::fenetres::restreint_chargement_dll();
  if (const auto code = pontex::option_standard(
          argc, argv, "relvano",
          "Usage: relvano [--help | --version | --sans-focus]\n\n"
          "Pontex's relauncher: shows \"Réinitialisation\" for two seconds, then\n"
          "starts Pontex again in the current folder and ends. Pontex starts it at\n"
          "every restart, with --sans-focus for the periodic one: the splash and\n"
          "Pontex then come up below the window in use, without taking the\n"
          "keyboard. See relvano(1).\n"))
    return *code;
  // The relauncher takes one argument, "--sans-focus" (read below, passed
  // on to Pontex). Whatever else it is given, Qt's own options included, is
  // ignored so that it behaves the same however it is started; only the
  // program's own name reaches Qt.
  static char nom_defaut[] = "relvano";
  char* argv_qt[] = {argc > 0 ? argv[0] : nom_defaut, nullptr};
  int argc_qt = 1;
  QApplication application(argc_qt, argv_qt);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/relvano/icone.png")));

  pontex::fenetres::SystemeReel systeme;
  relvano::Form1 Form1(systeme, relvano::lit_mode_lancement(argc, argv));
  Form1.Form_Load();
  Form1.affiche();
  return QApplication::exec();
}

// kestrap: started by Pontex's settings window, which ends at once. Adds
// Pontex to, or removes it from, the programs that start when the user
// logs in; "Fin" starts Pontex again.

#include <QApplication>
#include <QIcon>

#include "kestrap/form1_chh.h"
#include "pontex/fenetres/systeme.h"
#include "pontex/shared/options.h"

int main(int argc, char* argv[]) {
  // Before anything can load a DLL by name: the current folder is the
  // shop's working folder, which any session may write to.
  pontex::fenetres::restreint_chargement_dll();
  if (const auto code = pontex::option_standard(
          argc, argv, "kestrap",
          "Usage: kestrap [--help | --version]\n\n"
          "Starts Pontex at login, or stops doing so: \"Activer\" copies the entry\n"
          "named in kestrap.wdo into the autostart folder, \"Annuler\" removes it,\n"
          "\"Fin\" brings Pontex back. See kestrap(1).\n"))
    return *code;
  // The tool takes no arguments; only the program's own name reaches Qt.
  static char nom_defaut[] = "kestrap";
  char* argv_qt[] = {argc > 0 ? argv[0] : nom_defaut, nullptr};
  int argc_qt = 1;
  QApplication application(argc_qt, argv_qt);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/kestrap/icone.png")));

  kestrap::Form1_chh Form1_chh(kestrap::systeme_reel());
  Form1_chh.Form_Load();
  Form1_chh.affiche();
  return QApplication::exec();
}

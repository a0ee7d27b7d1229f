// Pontex: the exchange program a shop runs. Started with no arguments in the
// folder that holds "Pontex.wdo"; every restart goes through the relauncher.

#include <QApplication>

#include "pontex/app/form1.h"
#include "pontex/app/programme.h"
#include "pontex/fenetres/icc.h"
#include "pontex/fenetres/systeme.h"
#include "pontex/shared/horloge.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The program ends only through its own buttons and its restart, never
  // because a window went away.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(pontex::fenetres::icc::icone());

  pontex::fenetres::SystemeReel systeme;
  pontex::HorlogeSysteme horloge;
  pontex::fenetres::Programme programme(systeme, horloge, pontex::fenetres::separateur_regional());

  pontex::fenetres::Form1 fenetre(programme);
  fenetre.Form_Load();
  fenetre.montre();
  return QApplication::exec();
}

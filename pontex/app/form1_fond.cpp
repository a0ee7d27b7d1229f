// Background mode: the window starts minimised and restarts without taking
// the focus, so the exchange runs without coming to the front every cycle.
// The choice survives restarts in the window-state store under "POSIFEN".

#include <QLabel>

#include "pontex/app/form1.h"
#include "pontex/app/form97.h"
#include "pontex/app/programme.h"
#include "pontex/data/inter_logg.h"

namespace pontex::fenetres {

void Form1::Image3_Click() {
  programme_.dialogue.mode = ModeDialogue::question;
  programme_.dialogue.message = QStringLiteral(
      "Voulez vous que le logiciel fonctionne en tache de fond (Dans la barre des taches) ?");
  form97::montre(programme_.dialogue, this);
  if (programme_.fini()) return;

  const bool oui = programme_.dialogue.mode == ModeDialogue::oui;
  if (ecrit_logg("POSIFEN", oui ? "OUI" : "")) {
    Label18->setText(oui ? QStringLiteral("1") : QString());
  } else {
    // The store could not be written: show the mode the next start will
    // really use, not the one asked for.
    const std::string garde = lit_logg("POSIFEN");
    const bool fond = garde.find_first_not_of(' ') != std::string::npos;
    Label18->setText(fond ? QStringLiteral("1") : QString());
  }
  // Either answer sends the window to the taskbar at once.
  setWindowState((windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
}

}  // namespace pontex::fenetres

// Pontex: the exchange program a shop runs. Started with no arguments in the
// folder that holds "Pontex.wdo"; every restart goes through the relauncher.

#include <QApplication>
#include <chrono>
#include <cstdio>

#include "pontex/app/form1.h"
#include "pontex/app/form97.h"
#include "pontex/app/programme.h"
#include "pontex/fenetres/icc.h"
#include "pontex/fenetres/systeme.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/options.h"
#include "pontex/shared/verrou.h"

namespace {

// How long a Pontex started while another one works in its folder waits for
// it to end. The relauncher starts the new one two seconds after the old one
// started it and ended; a double click while one is counting down its
// minutes must not wait that long.
constexpr std::chrono::seconds attente_autre_pontex{30};

constexpr std::string_view aide =
    "Usage: Pontex [--help | --version]\n"
    "\n"
    "Keeps the shop's cash register in step with the stock server. Started in\n"
    "the folder that holds Pontex.wdo, it takes the movement files of the\n"
    "transit folder's import/, applies them to the cash register, writes the\n"
    "stock export into export/, and restarts itself through relvano every\n"
    "#TIM_ANA# minutes. After each exchange it rewrites pontex_etat.json there,\n"
    "which pontex-etat reads. See pontex(1).\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before the lock, the journal and the display are touched.
  if (const auto code = pontex::option_standard(argc, argv, "Pontex", aide)) return *code;
  QApplication application(argc, argv);
  // The program ends only through its own buttons and its restart, never
  // because a window went away.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(pontex::fenetres::icc::icone());

  // Nothing in the folder is touched before the lock is held. A lock file
  // that cannot be made at all (a read-only folder) does not stop the shop's
  // exchange: the program then runs as it always did.
  pontex::VerrouDossier verrou;
  bool occupe = false;
  const pontex::Resultat pris =
      pontex::attend_verrou(verrou, pontex::nom_fichier_verrou, attente_autre_pontex,
                            std::chrono::milliseconds(200), occupe);
  if (!pris && occupe) {
    std::fprintf(stderr,
                 "Pontex: another Pontex still works in this folder after %lld s; ending.\n",
                 static_cast<long long>(attente_autre_pontex.count()));
    pontex::fenetres::ValeursDialogue dialogue;
    dialogue.message = QStringLiteral(
        "Un autre Pontex fonctionne déjà dans ce dossier.\r\nCe lancement s'arrête.");
    pontex::fenetres::form97::montre(dialogue);
    return 1;
  }
  if (!pris) std::fprintf(stderr, "Pontex: %s\n", pris.raison().c_str());

  pontex::fenetres::SystemeReel systeme;
  pontex::HorlogeSysteme horloge;
  pontex::fenetres::Programme programme(systeme, horloge, pontex::fenetres::separateur_regional());

  pontex::fenetres::Form1 fenetre(programme);
  fenetre.Form_Load();
  fenetre.montre();
  return QApplication::exec();
}

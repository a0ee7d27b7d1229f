// Pontex: the exchange program a shop runs. Started with no arguments in the
// folder that holds "Pontex.wdo"; every restart goes through the relauncher.

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <string_view>

#include "pontex/app/form1.h"
#include "pontex/app/form97.h"
#include "pontex/app/programme.h"
#include "pontex/fenetres/icc.h"
#include "pontex/fenetres/systeme.h"
#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/options.h"
#include "pontex/shared/processus.h"
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
  // Before anything can load a DLL by name: the shop's working folder is
  // the current folder, and any session may write there.
  pontex::fenetres::restreint_chargement_dll();
  // Answered before the lock, the journal and the display are touched.
  if (const auto code = pontex::option_standard(argc, argv, "Pontex", aide)) return *code;
  QApplication application(argc, argv);
  // The program ends only through its own buttons and its restart, never
  // because a window went away.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(pontex::fenetres::icc::icone());

  // The launcher of the menu entry has no terminal: what stops it is shown
  // through this, the program's own notice, and nothing else is done (no
  // lock, no file of the folder touched). The system's stop ends it as any
  // program.
  if (argc == 3 && std::string_view(argv[1]) == "--message") {
    pontex::fenetres::ValeursDialogue dialogue;
    dialogue.message = QString::fromLocal8Bit(argv[2]);
    pontex::fenetres::form97::montre(dialogue);
    return 0;
  }

  // From here on a logoff or shutdown ends the program cleanly, never
  // half-way through a record: the stop is looked at between two events
  // (the exchange looks at it between two records, and the window ends the
  // program after). Before the window exists there is nothing to finish.
  pontex::installe_arret_systeme();
  pontex::fenetres::Form1* fenetre_arret = nullptr;
  QTimer arret;
  QObject::connect(&arret, &QTimer::timeout, &application, [&fenetre_arret] {
    if (!pontex::arret_demande()) return;
    if (fenetre_arret == nullptr) pontex::termine_processus(0);
    fenetre_arret->arret_systeme();
  });
  arret.start(200);

  // Nothing in the folder is touched before the lock is held.
  pontex::VerrouDossier verrou;
  bool occupe = false;
  const pontex::Resultat pris =
      pontex::attend_verrou(verrou, pontex::nom_fichier_verrou, attente_autre_pontex,
                            std::chrono::milliseconds(200), occupe);
  if (pontex::arret_demande()) return 0;
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

  pontex::fenetres::SystemeReel systeme;
  pontex::HorlogeSysteme horloge;
  pontex::fenetres::Programme programme(systeme, horloge, pontex::fenetres::separateur_regional());
  // A lock file that cannot be made (a folder under its name, a read-only
  // folder) runs no exchange: another Pontex could be working here unseen.
  // The window still counts down and restarts, trying the lock again before
  // each exchange, so the shop's exchange comes back by itself once the
  // cause is gone.
  programme.verrou = &verrou;

  pontex::fenetres::Form1 fenetre(programme);
  fenetre_arret = &fenetre;
#if defined(Q_OS_WIN) && QT_CONFIG(sessionmanager)
  // The session's end (logoff, shutdown) is asked of the windows first: the
  // record under way is finished and the program ends before the system
  // ends it. Elsewhere the session sends the signals above.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, &fenetre, [&fenetre] {
    pontex::demande_arret();
    fenetre.arret_systeme();
  });
#endif
  // The session ends now, whatever is under way (the system ends the
  // process right after): the journal's last lines are written, and an
  // exchange stops at its next record if it is given the time.
  QObject::connect(&application, &QCoreApplication::aboutToQuit, &fenetre, [&programme] {
    pontex::demande_arret();
    programme.ferme_fichiers();
  });

  fenetre.Form_Load();
  if (!pris && !programme.fini()) {
    std::fprintf(stderr, "Pontex: %s\n", pris.raison().c_str());
    fenetre.ajoute_journal_texte(pontex::fenetres::Programme::texte_verrou(pris),
                                 pontex::SorteLigne::refus);
    programme.note_etat(pontex::EtatPontex::verrou_refuse,
                        pontex::fenetres::Programme::texte_verrou(pris));
    fenetre.ecrit_journal();
    // Shown once the window is up: the countdowns go on under the notice.
    QTimer::singleShot(0, &fenetre, [&programme, &fenetre, pris] {
      if (programme.fini()) return;
      programme.dialogue.mode = 0;
      programme.dialogue.message = pontex::fenetres::Programme::texte_verrou(pris) +
                                   programme.saut_ligne + programme.saut_ligne +
                                   QStringLiteral("Aucun échange tant qu'il ne peut pas l'être.");
      pontex::fenetres::form97::montre(programme.dialogue, &fenetre);
    });
  }

  fenetre.montre();
  const int code = QApplication::exec();
  fenetre_arret = nullptr;
  return code;
}

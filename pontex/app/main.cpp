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
#include "pontex/shared/journal_fichier.h"
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
    "Usage: Pontex [--help | --version | --sans-focus]\n"
    "\n"
    "Keeps the shop's cash register in step with the stock server. Started in\n"
    "the folder that holds Pontex.wdo, it takes the movement files of the\n"
    "transit folder's import/, applies them to the cash register, writes the\n"
    "stock export into export/, and restarts itself through relvano every\n"
    "#TIM_ANA# minutes. After each exchange it rewrites pontex_etat.json there,\n"
    "which pontex-etat reads.\n"
    "\n"
    "  --sans-focus  show the window below the window in use, without taking\n"
    "                the keyboard: what relvano's restart and the start at\n"
    "                login pass; a start by a person has no argument.\n"
    "\n"
    "See pontex(1).\n";

// A stop asked by the system before the window exists (waiting for another
// Pontex, or under the notice that one still works here): this start ends
// before it began, and the folder's journal says why, as a stop of a running
// Pontex does. One line appended to the day file, which the other Pontex
// only ever appends to as well.
[[noreturn]] void arret_avant_fenetre() {
  std::fprintf(stderr, "Pontex: stop asked by the system; ending.\n");
  pontex::HorlogeSysteme horloge;
  pontex::JournalFichier journal;
  // The file's encoding: the ANSI code page on Windows, UTF-8 on Linux.
  journal.ajoute(horloge.maintenant(),
                 QStringLiteral("Arrêt demandé par le système").toLocal8Bit().toStdString());
  (void)journal.ecrit_en_attente();  // not written: the line above on stderr is all there is
  pontex::termine_processus(0);
}

// The launcher of the menu entry has no terminal: what stops it is shown
// through this, the program's own notice, and nothing else is done (no
// lock, no file of the folder touched). The system's stop ends it as any
// program. Whether this start was one.
bool montre_message_seul(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != "--message") return false;
  pontex::fenetres::ValeursDialogue dialogue;
  dialogue.message = QString::fromLocal8Bit(argv[2]);
  pontex::fenetres::form97::montre(dialogue);
  return true;
}

// From here on a logoff or shutdown ends the program cleanly, never
// half-way through a record: the stop is looked at between two events (the
// exchange looks at it between two records, and the window ends the program
// after). Before the window exists there is nothing to finish.
void suit_arret_systeme(QTimer& arret, pontex::fenetres::Form1*& fenetre) {
  pontex::installe_arret_systeme();
  QObject::connect(&arret, &QTimer::timeout, &arret, [&fenetre] {
    if (!pontex::arret_demande()) return;
    if (fenetre == nullptr) arret_avant_fenetre();
    fenetre->arret_systeme();
  });
  arret.start(200);
}

// Nothing in the folder is touched before the lock is held. False when
// another Pontex still holds it: this start ends, and says why.
bool attend_le_dossier(pontex::VerrouDossier& verrou, pontex::PriseVerrou& pris) {
  pris = pontex::attend_verrou(verrou, pontex::nom_fichier_verrou, attente_autre_pontex,
                               std::chrono::milliseconds(200));
  if (pris.issue == pontex::IssueVerrou::arret || pontex::arret_demande()) arret_avant_fenetre();
  if (pris.issue != pontex::IssueVerrou::tenu_par_un_autre) return true;
  std::fprintf(stderr, "Pontex: another Pontex still works in this folder after %lld s; ending.\n",
               static_cast<long long>(attente_autre_pontex.count()));
  pontex::fenetres::ValeursDialogue dialogue;
  dialogue.message =
      QStringLiteral("Un autre Pontex fonctionne déjà dans ce dossier.\r\nCe lancement s'arrête.");
  pontex::fenetres::form97::montre(dialogue);
  return false;
}

// The session's end on Windows (logoff, shutdown) is told to the windows,
// not the console: asked whether it may end, the program ends at once when
// no exchange runs (an exchange stops at its next record, then ends the
// program). Told that it ends now, the journal's last lines are written
// before the system ends the process. Elsewhere the session sends the
// signals installe_arret_systeme follows.
void suit_fin_de_session(QApplication& application, pontex::fenetres::Form1& fenetre,
                         pontex::fenetres::Programme& programme) {
  pontex::fenetres::suit_fin_session([&fenetre, &programme](bool maintenant) {
    fenetre.arret_systeme();
    if (maintenant) programme.ferme_fichiers();
  });
  // The session ends now, whatever is under way (the system ends the
  // process right after): the journal's last lines are written, and an
  // exchange stops at its next record if it is given the time.
  QObject::connect(&application, &QCoreApplication::aboutToQuit, &fenetre, [&programme] {
    pontex::demande_arret();
    programme.ferme_fichiers();
  });
}

// A lock that could not be taken: the journal, the status and, once the
// window is up, a notice say so; the countdowns go on under the notice.
void signale_verrou_refuse(pontex::fenetres::Form1& fenetre, pontex::fenetres::Programme& programme,
                           const pontex::PriseVerrou& pris) {
  using pontex::fenetres::Programme;
  std::fprintf(stderr, "Pontex: %s\n", pris.raison.c_str());
  fenetre.ajoute_journal_texte(Programme::texte_verrou(pris.raison), pontex::SorteLigne::refus);
  programme.note_etat(pontex::EtatPontex::verrou_refuse, Programme::texte_verrou(pris.raison));
  fenetre.ecrit_journal();
  QTimer::singleShot(0, &fenetre, [&programme, &fenetre, pris] {
    if (programme.fini()) return;
    programme.dialogue.mode = pontex::fenetres::ModeDialogue::avis;
    programme.dialogue.message = Programme::texte_verrou(pris.raison) + programme.saut_ligne +
                                 programme.saut_ligne +
                                 QStringLiteral("Aucun échange tant qu'il ne peut pas l'être.");
    pontex::fenetres::form97::montre(programme.dialogue, &fenetre);
  });
}

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
  if (montre_message_seul(argc, argv)) return 0;

  pontex::fenetres::Form1* fenetre_arret = nullptr;
  QTimer arret;
  suit_arret_systeme(arret, fenetre_arret);

  pontex::VerrouDossier verrou;
  pontex::PriseVerrou pris;
  if (!attend_le_dossier(verrou, pris)) return 1;

  pontex::fenetres::SystemeReel systeme;
  pontex::HorlogeSysteme horloge;
  pontex::fenetres::Programme programme(systeme, horloge, pontex::fenetres::separateur_regional());
  // A lock that cannot be taken (a folder under the lock file's name, a
  // read-only folder, a network home that refuses locks) runs no exchange:
  // another Pontex could be working here unseen.
  // The window still counts down and restarts, trying the lock again before
  // each exchange, so the shop's exchange comes back by itself once the
  // cause is gone.
  programme.verrou = &verrou;

  pontex::fenetres::Form1 fenetre(programme);
  fenetre_arret = &fenetre;
  suit_fin_de_session(application, fenetre, programme);

  fenetre.Form_Load();
  if (!pris && !programme.fini()) signale_verrou_refuse(fenetre, programme, pris);

  fenetre.montre();
  const int code = QApplication::exec();
  fenetre_arret = nullptr;
  return code;
}

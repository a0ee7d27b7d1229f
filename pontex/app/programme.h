#pragma once
// What the windows of one Pontex process share: the program-wide values
// (configuration, cash register, the message dialog's values), and the one
// way the program ends.

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "pontex/app/form97.h"
#include "pontex/data/valeurs.h"
#include "pontex/exchange/etat_echange.h"
#include "pontex/fenetres/systeme.h"
#include "pontex/shared/journal_fichier.h"
#include "pontex/shared/lignes_journal.h"
#include "pontex/shared/resultat.h"
#include "pontex/shared/verrou.h"

namespace pontex::fenetres {

class Programme {
 public:
  Programme(Systeme& systeme, const Horloge& horloge, char separateur_decimal);
  Programme(const Programme&) = delete;
  Programme& operator=(const Programme&) = delete;

  ValeursProgramme valeurs;
  // Dialog mode and message (form97), and the message code of the message
  // routine (-1: the cash-register folder holds no cash-register data).
  ValeursDialogue dialogue;
  std::int16_t code_message = 0;
  // Line-break value used to build messages, CR LF once start-up has set it.
  QString saut_ligne;
  // The journal's lines on disk, in the working folder's "journal".
  JournalFichier journal;

  Systeme& systeme() { return systeme_; }

  // The folder lock, when this process takes one (the real program; none
  // in-process). A lock that could not be taken at start-up is tried again
  // before each exchange: no exchange runs without it.
  VerrouDossier* verrou = nullptr;
  Resultat assure_verrou();
  // The journal line and notice for a lock that cannot be taken.
  static QString texte_verrou(std::string_view raison);

  // Adds a line to the main window's journal (and so to its day file):
  // how the other windows leave a trace of a stop or a refusal. Set by the
  // main window while it lives.
  std::function<void(const QString&, SorteLigne)> journal_fenetre;
  void journalise(const QString& message, SorteLigne sorte = SorteLigne::information) {
    if (journal_fenetre) journal_fenetre(message, sorte);
  }

  // The status file for monitoring, written the moment no exchange can run
  // or the program ends without its restart: the state and its reason (the
  // journal's text). A write that fails is journaled and counted in the
  // next one that succeeds.
  void note_etat(EtatPontex etat, const QString& raison);
  // After the exchange's own status write: journaled and counted, or the
  // count given back to zero.
  void note_ecriture_etat(const Resultat& ecrit);
  // Writes of the program's own files that failed since the status file
  // was last written (the journal file, the status file).
  std::int64_t garanties_non_tenues = 0;
  // How many states note_etat has written in this process: the cycle
  // leaves a state written during it (the lock refused, the register
  // gone mid-file) in place of its own.
  std::int64_t etats_notes = 0;

  // Closes every file the program holds open (the article file is the only
  // one kept between two operations) and writes the journal's last lines.
  void ferme_fichiers();

  // The settings window holds edits not yet saved: the periodic restart
  // waits rather than throw them away. The settings window keeps it and
  // calls parametrage_libere once they are saved, undone or left.
  bool parametrage_modifie = false;
  std::function<void()> parametrage_libere;
  // Told by the main window when a restart starts (true) or stops (false)
  // waiting for the settings: the settings window, which covers the main
  // window, says so too.
  std::function<void(bool)> relance_en_attente;

  // A restart that cannot be launched (the relauncher missing, its start
  // refused) is told here with the system's reason, after the journal line:
  // for the status file, so that monitoring sees the shop stopped.
  std::function<void(const std::string& raison)> sur_relance_impossible;
  // The journal line and notice of such a restart.
  static QString texte_relance_impossible(const Resultat& echec);

  // Closes every file, starts the relauncher and ends the process. When the
  // relauncher cannot be started the program stays: the failure is
  // journaled and handed to sur_relance_impossible, and the result says
  // why; the caller shows it and tries again later.
  Resultat relance(Fenetre_lancement fenetre);

  // Closes every file, starts `a_demarrer` when it is not empty (its start
  // failing does not keep the program alive), and ends the process.
  // Returns only under a test system: the program then counts as ended,
  // every window of it is closed (modal loops return), and every caller
  // must return at once.
  void termine(std::string_view a_demarrer = {},
               Fenetre_lancement fenetre = Fenetre_lancement::normale);
  bool fini() const { return fini_; }

 private:
  // Ends the process once everything is closed and started.
  void finit();
  Systeme& systeme_;
  bool fini_ = false;
};

// The workstation's decimal separator for quantities written by the core:
// the first character of the regional one, "." when that is not a single
// Windows-1252 byte.
char separateur_regional();

}  // namespace pontex::fenetres

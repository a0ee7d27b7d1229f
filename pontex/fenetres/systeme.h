#pragma once
// The two things Pontex asks of the system beyond files: starting another of
// the three programs, and ending itself at once. Every start and every end
// of the windows goes through this one seam, so the windows can be driven
// in-process by tests that record the calls instead of ending the runner.

#include <functional>
#include <string>
#include <string_view>

#include "pontex/shared/processus.h"
#include "pontex/shared/resultat.h"

namespace pontex::fenetres {

class Systeme {
 public:
  virtual ~Systeme() = default;
  // Starts a program by its bare name ("relvano.exe", "kestrap.exe"),
  // detached, without waiting.
  virtual Resultat demarre(std::string_view nom, Fenetre_lancement fenetre) = 0;
  // Ends the process at once, with no further window event. The real one
  // never returns; one that does (tests) leaves the caller to return at
  // once without doing anything else.
  virtual void termine() = 0;
};

// The real system: the platform layer. On Windows the program is taken from
// the folder of the running program only (see commande_voisine).
class SystemeReel : public Systeme {
 public:
  Resultat demarre(std::string_view nom, Fenetre_lancement fenetre) override;
  void termine() override;
};

// An installed Windows system keeps the three programs in a folder users
// cannot write to and runs them in the shop's working folder, which any
// session of the PC may write to. A program named bare ("Pontex.exe") would
// be looked for in the current folder whenever it is missing beside the one
// starting it: a program dropped into the shop's folder would then run,
// perhaps under an administrator's session. The three programs therefore
// name each other by their full path in their own folder.
//
// `ligne` with its program, when that is a bare name (no folder, not
// quoted), put into `dossier` and quoted so that a space in the folder's
// name does not cut it: `Pontex.exe --sans-focus` in `C:\Program Files\Pontex`
// gives `"C:\Program Files\Pontex\Pontex.exe" --sans-focus`. A program given
// with a folder or quoted, an empty folder and a blank line are left as they
// are.
std::string commande_dans_dossier(std::string_view ligne, std::string_view dossier);

// Windows: `ligne` through commande_dans_dossier with the running program's
// folder, in the ANSI code page the platform layer takes (unchanged when
// that folder has a character the code page lacks: the system then still
// looks beside the running program first). Elsewhere `ligne` unchanged:
// on Linux the platform layer already looks beside the running program and
// the shop's own home folder holds nothing of another user's.
std::string commande_voisine(std::string_view ligne);

// Windows: a bare program name ("relvano.exe") made the full path of that
// program in the running program's folder, as commande_voisine does for a
// command line (for the platform layer's demarre_programme, which quotes
// it). Elsewhere `nom` unchanged.
std::string programme_voisin(std::string_view nom);

// Windows: DLLs loaded by name come from the program's own folder and the
// system's folder only, never from the current folder (the shop's working
// folder, writable by every session). Called first thing in main(), before
// anything loads a DLL by name. Does nothing elsewhere.
void restreint_chargement_dll();

// Windows: the session's end (logoff, shutdown, restart) as the window
// system tells it, to every top-level window: the console's events do not
// reach a program with windows. Each message asks the stop (demande_arret)
// and calls `fin`: with false at the question whether the session may end
// (WM_QUERYENDSESSION, always answered yes), with true when it ends now
// (WM_ENDSESSION): the system ends the process once the message is
// answered. May be called once per window. Installed once, after the
// application object; does nothing elsewhere, where the session sends
// signals.
void suit_fin_session(std::function<void(bool maintenant)> fin);

}  // namespace pontex::fenetres

#pragma once
// Starting other programs, ending this one, and the per-user folders the
// three programs need, behind one interface for Linux and Windows.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/resultat.h"

namespace pontex {

enum class Fenetre_lancement {
  normale,            // normal window that takes the focus
  sans_focus,         // normal window, focus left where it is
  reduite_sans_focus  // minimised, focus left where it is (where the platform allows)
};

// The argument by which a start that no person asked for (the restart
// every few minutes through the relauncher, the start at login) tells Pontex
// and the relauncher to show their window without taking the keyboard from
// whoever is typing at the till.
inline constexpr std::string_view argument_sans_focus = "--sans-focus";

// Starts a program given by its bare name, as the programs name each other
// ("relvano.exe", "Pontex.exe", "kestrap.exe"), detached, without waiting;
// with the one argument `--sans-focus` when the window must not take the
// focus, with none otherwise. Looked for first in the folder of the running
// executable, then in the current directory, then along PATH. On Linux a
// trailing ".exe" is dropped from the name ("relvano.exe" starts the
// program "relvano").
Resultat demarre_programme(std::string_view nom, Fenetre_lancement fenetre);

// How this process's starter asked it to show its first window: minimised
// without the focus, or normally.
//  - Windows: the show state in the process's start-up information (what a
//    shortcut set to "Minimised" gives, or our own minimised start), or the
//    wish in the environment;
//  - Linux: the wish in the environment only (X11 and Wayland pass no show
//    state to a started program).
Fenetre_lancement mode_lancement_demande();

// The same, with the program's own arguments (without the program's name):
// `--sans-focus` among them asks for a window that leaves the focus where it
// is; a minimised wish of the starter wins over it. Other arguments are no
// business of this function.
Fenetre_lancement mode_lancement_demande(const std::vector<std::string>& arguments);

// Starts a command line (program and arguments, as a person would type it),
// detached, without waiting. On Linux it runs through /bin/sh -c.
Resultat demarre_commande(std::string_view ligne);

// Folder of the running executable (native path).
std::string dossier_executable();

// The current user's profile folder (Windows: special folder 40 through the
// shell library; Linux: $HOME), as a Windows-1252 path without a trailing
// separator, or "" when it cannot be found.
std::string Cherche_Chemin(int dossier_special);

// The current user's Startup folder, where an entry file makes a program
// start at login, without a trailing separator:
//  - Windows: Cherche_Chemin(40) followed by
//    "\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup";
//  - Linux: $XDG_CONFIG_HOME/autostart, or $HOME/.config/autostart when
//    XDG_CONFIG_HOME is unset or empty.
// Nothing when the profile folder cannot be found (never the bare suffix,
// which would name a folder at the root of a drive).
std::optional<std::string> dossier_demarrage();

// Ends the process at once with the given status: no destructor, no further
// window event. Files held by the caller must be closed before.
[[noreturn]] void termine_processus(int code);

}  // namespace pontex

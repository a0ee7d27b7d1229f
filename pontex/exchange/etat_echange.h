#pragma once
// How the last exchange went, for whoever watches the shop from outside.
//
// After each exchange Pontex rewrites "pontex_etat.json" beside "Pontex.wdo"
// (a new file renamed over the old one, so a reader never sees half of it):
// when it ran, what it took and applied, its errors, when the last exchange
// without any error was, and when the next one is due. When no exchange can
// run (the folder lock refused, the transit folder or the register away, the
// journal not written) or the program ends without its restart, the file is
// rewritten at once with that state and its reason, the last exchange's
// figures kept as they were. pontex-etat reads it and answers in the way
// monitoring tools expect: 0 in step, 1 warning, 2 stopped, 3 unknown.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/fenetre_echange.h"
#include "pontex/shared/moment.h"
#include "pontex/shared/resultat.h"

namespace pontex {

inline constexpr std::string_view nom_fichier_etat = "pontex_etat.json";

// The counts of one exchange.
struct BilanEchange {
  std::int64_t fichiers_pris = 0;
  std::int64_t mouvements_appliques = 0;
  std::int64_t erreurs = 0;
  std::int64_t refus = 0;
  std::string derniere_erreur;  // the journal's text (Windows-1252) of the last error or refusal
  // Writes of the program's own files that failed in this process since
  // the status file was last written (the journal file, the status file
  // itself): what was promised to be kept was not. Set by the window.
  std::int64_t garanties_non_tenues = 0;
  // A good exchange: nothing went to the error file, nothing was left
  // behind, nothing the program keeps was lost.
  bool bon() const { return erreurs == 0 && refus == 0 && garanties_non_tenues == 0; }
};

// The window as the exchange procedures see it, counting each journal line
// by the kind its writer gave it. Everything else goes straight to the window.
class CompteurEchange : public FenetreEchange {
 public:
  explicit CompteurEchange(FenetreEchange& fenetre) : fenetre_(fenetre) {}

  using FenetreEchange::ajoute_journal;
  void ajoute_journal(std::string_view message, SorteLigne sorte) override;
  std::vector<std::string> noms_File1() override { return fenetre_.noms_File1(); }
  void rafraichit_File1() override { fenetre_.rafraichit_File1(); }
  std::vector<std::string> noms_File2() override { return fenetre_.noms_File2(); }
  void rafraichit_File2() override { fenetre_.rafraichit_File2(); }
  void remplit_List2(const std::vector<std::string>& noms) override {
    fenetre_.remplit_List2(noms);
  }
  void traite_evenements() override { fenetre_.traite_evenements(); }

  const BilanEchange& bilan() const { return bilan_; }

 private:
  FenetreEchange& fenetre_;
  BilanEchange bilan_;
};

// What Pontex is doing, as the status file's "etat" names it: an exchange
// ran, or why none could (the program waits and tries again), or why the
// program ended without its restart.
enum class EtatPontex {
  echange,
  verrou_refuse,       // "Pontex.verrou" could not be taken (not another Pontex)
  transit_absent,      // the transit folder's import or export is missing
  caisse_absente,      // the register's data files cannot be reached
  journal_non_ecrit,   // the journal's day file cannot be written
  arret_systeme,       // logoff or shutdown: ended, started again at login
  arrete_utilisateur,  // a person quit: no exchange until someone starts it
  relance_impossible,  // the restart could not be launched: no exchange any more
};
std::string_view nom_etat(EtatPontex etat);
std::optional<EtatPontex> etat_de_nom(std::string_view nom);

// The status file's content.
struct EtatEchange {
  std::string version;
  std::int64_t processus = 0;
  EtatPontex etat = EtatPontex::echange;
  std::string raison;                     // UTF-8; why no exchange runs, empty after an exchange
  std::optional<Moment> depuis;           // since when it is in this state (none after an exchange)
  std::optional<Moment> dernier_echange;  // none when no exchange has ever run here
  std::optional<Moment> dernier_echange_bon;  // none yet
  std::int64_t fichiers_pris = 0;
  std::int64_t mouvements_appliques = 0;
  std::int64_t erreurs = 0;
  std::int64_t refus = 0;
  std::int64_t garanties_non_tenues = 0;
  std::string derniere_erreur;  // UTF-8; empty when the exchange was good
  int minutes_entre_echanges = 1;
  std::optional<Moment> prochain_echange;  // none once the program has ended for good
};

// Minutes from the end of an exchange to the restart, as the window's
// restart countdown runs them from the "#TIM_ANA#" text: at least 1 (an
// empty, zero or negative delay restarts at the first tick).
int minutes_avant_relance(std::string_view tim_ana);

// From the end of the restart countdown to the next exchange: relvano's two
// seconds, then the start countdown's five.
inline constexpr std::int64_t secondes_relance = 7;

// The status after an exchange that ended at `maintenant`: the last good
// exchange is this one, or, after a bad one, the one the previous file
// names (it must survive the restarts between). An exchange that ran but
// left something to say (its journal not written) names that state and its
// reason (Windows-1252) beside its figures.
EtatEchange etat_apres_echange(const BilanEchange& bilan, std::string_view tim_ana,
                               std::int64_t maintenant, const std::optional<EtatEchange>& precedent,
                               EtatPontex etat = EtatPontex::echange, std::string_view raison = {});

// The status when no exchange could run, or the program ends, at
// `maintenant`, for `raison` (Windows-1252, the journal's text): the last
// exchange, its figures and the last good one are the previous file's; the
// state's start is kept while the same state lasts across restarts.
EtatEchange etat_hors_echange(EtatPontex etat, std::string_view raison, std::string_view tim_ana,
                              std::int64_t maintenant, const std::optional<EtatEchange>& precedent);

// JSON text of the status file, and back. Nothing when the text is not a
// status file.
std::string texte_etat(const EtatEchange& etat);
std::optional<EtatEchange> lit_texte_etat(std::string_view texte);

// Reads the status file `chemin`: nothing when it is missing, an empty
// text when it cannot be read (or is beyond any status file's size).
std::optional<std::string> lit_fichier_etat(std::string_view chemin);

// Writes the status file of the current folder after an exchange, through a
// new file renamed over the old one.
Resultat ecrit_etat_echange(const BilanEchange& bilan, std::string_view tim_ana,
                            std::string_view version, std::int64_t processus,
                            EtatPontex etat = EtatPontex::echange, std::string_view raison = {});

// Writes it, the same way, the moment no exchange can run or the program
// ends without its restart. `garanties_non_tenues` as in BilanEchange.
Resultat ecrit_etat_hors_echange(EtatPontex etat, std::string_view raison, std::string_view tim_ana,
                                 std::string_view version, std::int64_t processus,
                                 std::int64_t garanties_non_tenues = 0);

// pontex-etat's answer: the exit status (0 in step, 1 warning, 2 stopped,
// 3 unknown) and the one line it prints. `contenu` is the status file's text
// (nothing when there is none), `maintenant` seconds since 1970.
// A person's quit and a restart that failed are CRITICAL at once; the other
// states where no exchange runs are a WARNING with their reason, CRITICAL
// once no exchange has run for the stop margin below. Values Pontex never
// writes (negative counts, counts whose sum overflows, a date more than a
// minute ahead of the clock) are UNKNOWN: the file is not to be trusted.
struct Verdict {
  int code = 3;
  std::string ligne;
};
Verdict juge_etat(const std::optional<std::string>& contenu, std::int64_t maintenant);

// Beyond the next exchange's due time, the grace before it counts as late
// (an exchange of many records takes its time); and beyond twice the
// period, the margin before Pontex counts as stopped.
inline constexpr std::int64_t secondes_retard = 120;
inline constexpr std::int64_t secondes_marge_arret = 300;
// How far ahead of the reader's clock a date may be (two machines' clocks).
inline constexpr std::int64_t secondes_avance_tolere = 60;

}  // namespace pontex

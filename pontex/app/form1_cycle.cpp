// The exchange cycle of one process: the 5-second start countdown, the one
// exchange (import, then export), the minutes until the restart, and the
// restart through the relauncher.
//
// Each countdown keeps its number and shows it in its caption; a caption
// written by anything else counts from the next tick on, so what is shown is
// what counts.

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include "pontex/app/form1.h"
#include "pontex/app/form97.h"
#include "pontex/app/programme.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/etat_echange.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/nombres.h"
#include "pontex/shared/options.h"

namespace pontex::fenetres {

void CompteARebours::affiche(const QString& texte) {
  legende_ = texte;
  label_->setText(texte);
  valeur_ = lit_nombre(vers_1252(texte));
}

double CompteARebours::decompte() {
  reprend_legende();
  // The count goes on from the number the caption now shows, rounded as it
  // is written, not from an unrounded one (a restart delay with decimals).
  const std::string texte = format_00(valeur_ - 1);
  affiche(QString::fromStdString(texte));
  return valeur_;
}

bool CompteARebours::vide() {
  reprend_legende();
  return legende_.isEmpty();
}

void CompteARebours::reprend_legende() {
  if (label_->text() != legende_) affiche(label_->text());
}

void Form1::Timer1_Timer() {
  if (programme_.fini()) return;
  if (echange_en_cours_) {
    Timer1_differe_ = true;
    return;
  }
  if (depart_.decompte() == 0) {
    // Stopped before the cycle: no tick runs during it, even when the
    // cycle lets window events through.
    Timer1->met_intervalle(0);
    depart_.affiche(QStringLiteral("-"));
    lance_cycle();
  }
}

void Form1::lance_cycle() {
  const QString transit_absent = signale_transit_absent();
  const std::int64_t etats_avant = programme_.etats_notes;
  CompteurEchange compteur(*this);
  bool exporte = false;
  IssueImport import = IssueImport::faite;
  pendant_echange([this, &compteur, &exporte, &import] {
    // Both halves work in the same folders, opened and checked once.
    const TenueDossiers dossiers(programme_.valeurs, compteur);
    import = traite_import(programme_.valeurs, compteur);
    // A stop asked by the system ends the program now: the export is the
    // next cycle's. A register that cannot be read has no stock to send.
    if (programme_.fini() || arret_demande() || import == IssueImport::caisse_absente) return;
    exporte = genere_sorties(programme_.valeurs, compteur);
  });
  if (programme_.fini()) return;
  const bool journal_ecrit = ecrit_journal();
  if (import == IssueImport::caisse_absente) {
    // The register went away before or during the import: waited for as at
    // a start (which tells monitoring), and the exchange runs again once it
    // is back.
    depart_.affiche(QString());
    commence_attente_caisse();
  } else {
    redemarrage_.affiche(depuis_1252(programme_.valeurs.config.tim_ana));
    Timer2->met_intervalle(60000);
  }
  // For monitoring from outside, at once. A state written during the
  // exchange (the folder lock refused, the register gone mid-file) says
  // why it did not run, and stays.
  if (programme_.etats_notes != etats_avant) return;
  if (!transit_absent.isEmpty()) {
    programme_.note_etat(EtatPontex::transit_absent, transit_absent);
    return;
  }
  // The exchange ran; a journal that could not be written is said beside
  // its figures, and keeps it from being a good one.
  EtatPontex etat = EtatPontex::echange;
  QString raison;
  if (!journal_ecrit) {
    etat = EtatPontex::journal_non_ecrit;
    raison = depuis_1252(JournalFichier::non_ecrit) +
             QString::fromStdString(chemin_natif(
                 programme_.journal.nom_fichier(programme_.valeurs.horloge->maintenant())));
  }
  BilanEchange bilan = compteur.bilan();
  bilan.garanties_non_tenues = programme_.garanties_non_tenues;
  const Resultat ecrit =
      ecrit_etat_echange(bilan, programme_.valeurs.config.tim_ana, version_pontex(),
                         QCoreApplication::applicationPid(), etat, vers_1252(raison));
  programme_.note_ecriture_etat(ecrit);
  // The window's last good exchange is the status file's: nothing went to
  // the error file, nothing was left behind, and the server has the stock.
  if (ecrit && exporte && bilan.bon()) note_echange_reussi();
}

void Form1::Timer2_Timer() {
  if (programme_.fini()) return;
  if (echange_en_cours_) {
    Timer2_differe_ = true;
    return;
  }
  // Waiting for the settings: the count stays where it ran out.
  if (relance_attend_) {
    if (!programme_.parametrage_modifie) relance();
    return;
  }
  if (redemarrage_.decompte() <= 0) {
    if (programme_.parametrage_modifie) {
      attend_parametrage();
      return;
    }
    relance();
  }
}

void Form1::attend_parametrage() {
  // Someone is typing the settings: a restart now would throw the edits
  // away. It waits until they are saved (which restarts anyway), undone or
  // left.
  relance_attend_ = true;
  ajoute_journal_texte(QStringLiteral("Relance en attente : paramétrage non enregistré"));
  label_attente_relance->setText(
      QStringLiteral("Relance en attente : le paramétrage n'est pas enregistré"));
  label_attente_relance->show();
  if (programme_.relance_en_attente) programme_.relance_en_attente(true);
}

void Form1::reprend_relance() {
  if (programme_.fini() || !relance_attend_ || programme_.parametrage_modifie) return;
  relance();
}

void Form1::relance() {
  if (relance_attend_) {
    relance_attend_ = false;
    label_attente_relance->hide();
    if (programme_.relance_en_attente) programme_.relance_en_attente(false);
    ajoute_journal_texte(QStringLiteral("Relance après l'attente du paramétrage"));
  }
  // Background mode restarts minimised, without taking the focus from
  // the cash-register program.
  // In normal mode the window comes back, but without taking the
  // keyboard from whoever is typing at the till.
  const auto fenetre = Label18->text().isEmpty() ? Fenetre_lancement::sans_focus
                                                 : Fenetre_lancement::reduite_sans_focus;
  const Resultat lancee = programme_.relance(fenetre);
  if (programme_.fini() || lancee) return;
  // Tried again in a minute (the relauncher may be back once an upgrade
  // has put it in place); the notice stays up meanwhile without holding
  // the next attempt.
  redemarrage_.affiche(QStringLiteral("01"));
  Timer2->met_intervalle(60000);
  montre_avis_relance(lancee);
}

void Form1::montre_avis_relance(const Resultat& echec) {
  if (avis_relance_montre_) return;
  avis_relance_montre_ = true;
  // Shown from the event loop, not from the tick: the countdown goes on
  // under the notice, and a restart that succeeds closes it.
  QTimer::singleShot(0, this, [this, texte = Programme::texte_relance_impossible(echec)] {
    if (programme_.fini()) return;
    ValeursDialogue avis;
    avis.mode = ModeDialogue::avis;
    avis.message = texte + programme_.saut_ligne + programme_.saut_ligne +
                   QStringLiteral("Nouvel essai dans une minute.");
    form97::montre(avis, this);
    avis_relance_montre_ = false;
  });
}

void Form1::arret_systeme() {
  if (programme_.fini() || echange_en_cours_) return;
  const QString arret = QStringLiteral("Arrêt demandé par le système");
  ajoute_journal_texte(arret, SorteLigne::arret);
  programme_.note_etat(EtatPontex::arret_systeme, arret);
  programme_.termine();
}

void Form1::Label11_Click() {
  // Stops the start countdown for good in this process; a restart already
  // counting down goes on.
  if (Timer1->intervalle() != 0 || attend_caisse()) {
    ajoute_journal_texte(QStringLiteral("Procedure d'import / export stoppée"));
  }
  arrete_attente_caisse();
  Timer1->met_intervalle(0);
  depart_.affiche(QStringLiteral("-"));
  Label9->hide();
}

void Form1::Command3_Click() {
  redemarrage_.affiche(QStringLiteral("5"));
  Timer2->met_intervalle(1000);
  Timer1->met_intervalle(0);
}

void Form1::Command2_Click() {
  pendant_echange([this] { applique_analyse(programme_.valeurs, *this); });
}

void Form1::Command1_Click() { genere_ventes(programme_.valeurs, *this); }

}  // namespace pontex::fenetres

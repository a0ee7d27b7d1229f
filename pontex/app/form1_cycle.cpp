// The exchange cycle of one process: the 5-second start countdown, the one
// exchange (import, then export), the minutes until the restart, and the
// restart through the relauncher.
//
// Each countdown keeps its number and shows it in its caption; a caption
// written by anything else counts from the next tick on, so what is shown is
// what counts.

#include <QCoreApplication>
#include <QLabel>

#include "pontex/app/form1.h"
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
  pendant_echange([this, &compteur, &exporte] {
    // Both halves work in the same folders, opened and checked once.
    const TenueDossiers dossiers(programme_.valeurs, compteur);
    traite_import(programme_.valeurs, compteur);
    // A stop asked by the system ends the program now: the export is the
    // next cycle's.
    if (programme_.fini() || arret_demande()) return;
    exporte = genere_sorties(programme_.valeurs, compteur);
  });
  if (programme_.fini()) return;
  const bool journal_ecrit = ecrit_journal();
  redemarrage_.affiche(depuis_1252(programme_.valeurs.config.tim_ana));
  Timer2->met_intervalle(60000);
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
  if (redemarrage_.decompte() <= 0) {
    // Background mode restarts minimised, without taking the focus from
    // the cash-register program.
    // In normal mode the window comes back, but without taking the
    // keyboard from whoever is typing at the till.
    const auto fenetre = Label18->text().isEmpty() ? Fenetre_lancement::sans_focus
                                                   : Fenetre_lancement::reduite_sans_focus;
    programme_.termine("relvano.exe", fenetre);
  }
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

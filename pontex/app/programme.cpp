#include "pontex/app/programme.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QLocale>
#include <QPointer>
#include <utility>
#include <vector>

#include "pontex/exchange/textes_journal.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/options.h"

namespace pontex::fenetres {

Programme::Programme(Systeme& systeme, const Horloge& horloge, char separateur_decimal)
    : valeurs(horloge, separateur_decimal), systeme_(systeme) {}

Resultat Programme::assure_verrou() {
  if (verrou == nullptr || verrou->tenu()) return Resultat::succes();
  // Another Pontex or a lock that cannot be taken: either way no exchange,
  // and the next cycle tries again.
  PriseVerrou prise = verrou->prend(nom_fichier_verrou);
  if (prise) return Resultat::succes();
  return Resultat::echec(std::move(prise.raison));
}

QString Programme::texte_verrou(std::string_view raison) {
  // The reason comes from the system, in its own code page.
  return depuis_1252(textes::verrou_refuse) +
         QString::fromLocal8Bit(raison.data(), static_cast<qsizetype>(raison.size()));
}

void Programme::note_etat(EtatPontex etat, const QString& raison) {
  ++etats_notes;
  note_ecriture_etat(ecrit_etat_hors_echange(etat, vers_1252(raison), valeurs.config.tim_ana,
                                             version_pontex(), QCoreApplication::applicationPid(),
                                             garanties_non_tenues));
}

void Programme::note_ecriture_etat(const Resultat& ecrit) {
  if (ecrit) {
    garanties_non_tenues = 0;
    return;
  }
  // Monitoring goes on reading the previous state: the shop must see why.
  ++garanties_non_tenues;
  journalise(depuis_1252(textes::etat_non_ecrit) + QString::fromUtf8(nom_fichier_etat) +
                 QStringLiteral(" : ") + QString::fromLocal8Bit(ecrit.raison()),
             SorteLigne::erreur);
}

void Programme::ferme_fichiers() {
  valeurs.caisse.ferme_articles();
  journal.ecrit_en_attente();
}

void Programme::termine(std::string_view a_demarrer, Fenetre_lancement fenetre) {
  if (fini_) return;
  ferme_fichiers();
  // A start that fails must not keep this process alive: the program ends
  // either way, and only monitoring is left to tell: no exchange will come.
  if (!a_demarrer.empty()) {
    if (const Resultat lance = systeme_.demarre(a_demarrer, fenetre); !lance) {
      note_etat(EtatPontex::relance_impossible, QString::fromUtf8(a_demarrer) +
                                                    QStringLiteral(" : ") +
                                                    QString::fromLocal8Bit(lance.raison()));
      (void)journal.ecrit_en_attente();  // the program ends: nothing more can be done
    }
  }
  finit();
}

Resultat Programme::relance(Fenetre_lancement fenetre) {
  if (fini_) return Resultat::succes();
  ferme_fichiers();
  const Resultat demarre = systeme_.demarre("relvano.exe", fenetre);
  if (!demarre) {
    // Ending now would stop the shop's exchanges without a word until
    // someone notices: the program stays, says why, and monitoring sees
    // the shop stopped until a restart goes through.
    journalise(texte_relance_impossible(demarre), SorteLigne::erreur);
    note_etat(EtatPontex::relance_impossible,
              QStringLiteral("relvano.exe : ") + QString::fromLocal8Bit(demarre.raison()));
    ferme_fichiers();  // the line above reaches the journal file now
    if (sur_relance_impossible) sur_relance_impossible(demarre.raison());
    return demarre;
  }
  finit();
  return demarre;
}

QString Programme::texte_relance_impossible(const Resultat& echec) {
  return QStringLiteral("Relance impossible : ") + QString::fromLocal8Bit(echec.raison());
}

void Programme::finit() {
  systeme_.termine();
  // Only a test system comes back here. Leave the process as the real end
  // would: no window left, every modal loop returned to its caller.
  fini_ = true;
  std::vector<QPointer<QWidget>> fenetres;
  for (QWidget* w : QApplication::topLevelWidgets()) fenetres.emplace_back(w);
  for (auto& w : fenetres) {
    if (!w) continue;
    if (auto* d = qobject_cast<QDialog*>(w.data()); d && d->isVisible()) {
      d->done(QDialog::Rejected);
    } else {
      w->hide();
    }
  }
}

char separateur_regional() {
  const QString point = QLocale::system().decimalPoint();
  if (point.isEmpty()) return '.';
  const std::string octets = vers_1252(point.left(1));
  if (octets.size() != 1 || octets[0] == '?') return '.';
  return octets[0];
}

}  // namespace pontex::fenetres

#include "pontex/app/programme.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QLocale>
#include <QPointer>
#include <vector>

#include "pontex/exchange/textes_journal.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/options.h"

namespace pontex::fenetres {

Programme::Programme(Systeme& systeme, const Horloge& horloge, char separateur_decimal)
    : valeurs(horloge, separateur_decimal), systeme_(systeme) {}

Resultat Programme::assure_verrou() {
  if (verrou == nullptr || verrou->tenu()) return Resultat::succes();
  bool occupe = false;
  return verrou->prend(nom_fichier_verrou, occupe);
}

QString Programme::texte_verrou(const Resultat& echec) {
  // The reason comes from the system, in its own code page.
  return depuis_1252(textes::verrou_refuse) + QString::fromLocal8Bit(echec.raison());
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

// The journal and the two file lists of the main window, and what the
// exchange procedures of the core see of the window.

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>

#include "pontex/app/form1.h"
#include "pontex/app/programme.h"
#include "pontex/fenetres/boite_fichiers.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/horloge.h"

namespace pontex::fenetres {

void Form1::ajoute_journal_texte(const QString& message) {
  const DateHeure maintenant = programme_.valeurs.horloge->maintenant();
  List1->addItem(QString::fromStdString(format_horodatage_journal(maintenant)) +
                 QStringLiteral(" - ") + message);
  // The newest line is selected and in view whenever the window is drawn.
  // Selecting it at every line would lay the whole list out again each
  // time (an import of 100,000 records journals 100,000 lines before the
  // window draws again), so it is done once, at the next event pass.
  if (!selection_prevue_) {
    selection_prevue_ = true;
    QMetaObject::invokeMethod(this, &Form1::selectionne_derniere_ligne, Qt::QueuedConnection);
  }
}

void Form1::selectionne_derniere_ligne() {
  selection_prevue_ = false;
  const int derniere = List1->count() - 1;
  if (derniere < 0) return;
  List1->setCurrentRow(derniere);
  List1->scrollToItem(List1->item(derniere));
}

void Form1::ajoute_journal(std::string_view message) { ajoute_journal_texte(depuis_1252(message)); }

void Form1::affiche_dossiers() {
  const std::string& transit = programme_.valeurs.config.transit;
  // A folder that cannot be read shows an empty list, which is what the
  // shop should see; the exchange journals its own failures.
  (void)File1->met_dossier(transit + "import");
  (void)File2->met_dossier(transit + "export");
}

std::vector<std::string> Form1::noms_File1() { return File1->noms(); }
void Form1::rafraichit_File1() { File1->rafraichit(); }
std::vector<std::string> Form1::noms_File2() { return File2->noms(); }
void Form1::rafraichit_File2() { File2->rafraichit(); }

void Form1::remplit_List2(const std::vector<std::string>& noms) {
  List2->clear();
  for (const std::string& nom : noms) List2->addItem(depuis_1252(nom));
}

void Form1::traite_evenements() { QCoreApplication::processEvents(); }

}  // namespace pontex::fenetres

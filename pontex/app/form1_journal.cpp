// The journal and the two file lists of the main window, and what the
// exchange procedures of the core see of the window.

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

#include "pontex/app/boite_fichiers.h"
#include "pontex/app/form1.h"
#include "pontex/app/programme.h"
#include "pontex/app/texte_1252.h"
#include "pontex/shared/fichiers.h"
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
  garde_journal(maintenant, message);
}

namespace {

// The journal file is read by people on the shop's machine: UTF-8 on
// Linux, the ANSI code page on Windows, as their editors expect.
std::string texte_fichier_journal(const QString& message) {
#ifdef _WIN32
  return message.toLocal8Bit().toStdString();
#else
  return message.toUtf8().toStdString();
#endif
}

// Pending lines are written within this delay, or at the end of the
// exchange, or when the program ends, whichever comes first.
constexpr int delai_ecriture_journal_ms = 1000;

}  // namespace

void Form1::garde_journal(const DateHeure& quand, const QString& message) {
  JournalFichier& journal = programme_.journal;
  journal.ajoute(quand, texte_fichier_journal(message));
  if (journal.octets_en_attente() >= JournalFichier::taille_lot) {
    ecrit_journal();
  } else if (!ecriture_journal_prevue_) {
    ecriture_journal_prevue_ = true;
    QTimer::singleShot(delai_ecriture_journal_ms, this, [this] {
      ecriture_journal_prevue_ = false;
      ecrit_journal();
    });
  }
}

void Form1::ecrit_journal() {
  JournalFichier& journal = programme_.journal;
  if (journal.vide() || journal_signale_) return;
  // Said once: the exchange goes on, and the lines are tried again with
  // the next ones.
  journal_signale_ = true;
  const std::string nom = journal.nom_fichier(programme_.valeurs.horloge->maintenant());
  ajoute_journal_texte(QStringLiteral("Le fichier journal ne peut pas être écrit : ") +
                       QString::fromStdString(chemin_natif(nom)));
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
  File1->met_dossier(transit + "import");
  File2->met_dossier(transit + "export");
}

void Form1::suit_dossiers() {
  if (cycle_en_cours_ || programme_.fini()) return;
  File1->rafraichit();
  File2->rafraichit();
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

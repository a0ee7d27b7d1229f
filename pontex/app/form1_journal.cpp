// The journal and the two file lists of the main window, and what the
// exchange procedures of the core see of the window.
//
// An exchange runs on the window thread and can take a minute (a million
// records). While it runs, the journal lets the window repaint at most
// once a second and shows, below its lines, how many lines the exchange has
// journaled so far. Only window-system events that are not user input are
// handled then (repaints, the window being uncovered or moved); clicks,
// keys and the window manager's close wait in their queue, and the
// countdown ticks are put off, until the exchange gives the window its
// events back, as it always did: after each file and after the export.
// The window keeps its single thread: the cash register's files are shared
// without locks and nothing else may touch them meanwhile.

#include <QCoreApplication>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QTimer>

#include "pontex/app/form1.h"
#include "pontex/app/modele_journal.h"
#include "pontex/app/programme.h"
#include "pontex/fenetres/boite_fichiers.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/texte_1252.h"
#include "pontex/shared/arret_systeme.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/horloge.h"

namespace pontex::fenetres {

namespace {

bool meme_seconde(const DateHeure& a, const DateHeure& b) {
  return a.seconde == b.seconde && a.minute == b.minute && a.heure == b.heure && a.jour == b.jour &&
         a.mois == b.mois && a.annee == b.annee;
}

}  // namespace

void Form1::ajoute_journal_texte(const QString& message, SorteLigne sorte) {
  ajoute_journal(vers_1252(message), sorte);
}

void Form1::ajoute_journal(std::string_view message, SorteLigne sorte) {
  const DateHeure maintenant = programme_.valeurs.horloge->maintenant();
  if (horodatage_.empty() || !meme_seconde(maintenant, date_horodatage_)) {
    date_horodatage_ = maintenant;
    horodatage_ = format_horodatage_journal(maintenant);
  }
  modele_journal->ajoute(horodatage_, message, sorte);

  if (echange_en_cours_) {
    ++lignes_echange_;
    if (std::chrono::steady_clock::now() >= prochain_avancement_) montre_avancement();
  }
  // The newest line is selected and in view whenever the window is drawn.
  // Showing it at every line would lay the list out again each time, so it
  // is done once, at the next event pass.
  if (!selection_prevue_) {
    selection_prevue_ = true;
    QMetaObject::invokeMethod(this, &Form1::selection_prevue, Qt::QueuedConnection);
  }
  garde_journal(maintenant, message);
}

namespace {

// The journal file is read by people on the shop's machine: UTF-8 on
// Linux, the ANSI code page on Windows, as their editors expect.
// `tampon` holds the converted text when the message itself cannot serve.
std::string_view texte_fichier_journal(std::string_view message, std::string& tampon) {
#ifdef _WIN32
  tampon = depuis_1252(message).toLocal8Bit().toStdString();
  return tampon;
#else
  return utf8_depuis_1252(message, tampon);
#endif
}

// Pending lines are written within this delay, or at the end of the
// exchange, or when the program ends, whichever comes first.
constexpr int delai_ecriture_journal_ms = 1000;

}  // namespace

void Form1::garde_journal(const DateHeure& quand, std::string_view message) {
  JournalFichier& journal = programme_.journal;
  // Reused from line to line: an import journals a line per movement.
  static std::string tampon;
  journal.ajoute(quand, texte_fichier_journal(message, tampon));
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

bool Form1::ecrit_journal() {
  JournalFichier& journal = programme_.journal;
  if (journal.ecrit_en_attente()) return true;
  if (journal_signale_) return false;
  // Said once: the exchange goes on, and the lines are tried again with
  // the next ones. The status file counts it.
  journal_signale_ = true;
  ++programme_.garanties_non_tenues;
  const std::string nom = journal.nom_fichier(programme_.valeurs.horloge->maintenant());
  ajoute_journal_texte(
      depuis_1252(JournalFichier::non_ecrit) + QString::fromStdString(chemin_natif(nom)),
      SorteLigne::erreur);
  return false;
}

void Form1::selectionne_derniere_ligne() {
  selection_prevue_ = false;
  modele_journal->montre_nouvelles();
  const int derniere = modele_journal->lignes_montrees() - 1;
  if (derniere < 0) return;
  const QModelIndex ligne = modele_journal->index(derniere);
  List1->setCurrentIndex(ligne);
  // The progress line, when there is one, is in view too.
  List1->scrollTo(modele_journal->index(modele_journal->rowCount() - 1));
}

void Form1::selection_prevue() {
  selection_prevue_ = false;
  // Selecting the newest line during an exchange would move the selection
  // and repaint the list at every event pass; the progress repaint shows the
  // lines, and the exchange's end selects the last one.
  if (echange_en_cours_) return;
  selectionne_derniere_ligne();
}

void Form1::montre_avancement() {
  const QString texte = depuis_1252(horodatage_) +
                        QStringLiteral(" - Échange en cours : %1 lignes").arg(lignes_echange_);
  // The lines so far and the count below them, in view at the bottom: the
  // selection is left where it is until the exchange ends (the end, and the
  // pause after each file, select the last line).
  modele_journal->montre_nouvelles();
  modele_journal->met_avancement(texte);
  List1->scrollToBottom();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  prochain_avancement_ = std::chrono::steady_clock::now() + intervalle_avancement_;
}

void Form1::pendant_echange(const std::function<void()>& echange) {
  // The exchange's own pause lets every event run: a handler that exchanges
  // too (the test button) must not start a second exchange inside the
  // first, on the same working file and the same progress record.
  if (echange_en_cours_) return;
  const Resultat verrou = programme_.assure_verrou();
  if (!verrou) {
    // Another Pontex may be working in this folder unseen: nothing is
    // taken from the import folder. The restart tries again.
    ajoute_journal_texte(Programme::texte_verrou(verrou.raison()), SorteLigne::refus);
    programme_.note_etat(EtatPontex::verrou_refuse, Programme::texte_verrou(verrou.raison()));
    return;
  }
  echange_en_cours_ = true;
  lignes_echange_ = 0;
  prochain_avancement_ = std::chrono::steady_clock::now() + intervalle_avancement_;
  echange();
  echange_en_cours_ = false;
  if (programme_.fini()) return;
  if (arret_demande()) {
    arret_systeme();
    return;
  }
  modele_journal->met_avancement(QString());
  selectionne_derniere_ligne();
  rejoue_differes();
}

void Form1::rejoue_differes() {
  // A countdown tick that fell due during the exchange runs now, once,
  // as a tick that came late.
  if (Timer1_differe_) {
    Timer1_differe_ = false;
    if (Timer1->intervalle() != 0) Timer1_Timer();
  }
  if (Timer2_differe_ && !programme_.fini()) {
    Timer2_differe_ = false;
    if (Timer2->intervalle() != 0) Timer2_Timer();
  }
}

void Form1::affiche_dossiers() {
  const std::string& transit = programme_.valeurs.config.transit;
  // A folder that cannot be read shows an empty list, which is what the
  // shop should see; the exchange journals its own failures.
  (void)File1->met_dossier(transit + "import");
  (void)File2->met_dossier(transit + "export");  // an export folder missing shows an empty list
}

void Form1::suit_dossiers() {
  // The exchange takes its files from the lists: they must not change under
  // it when it lets window events through.
  if (echange_en_cours_ || programme_.fini()) return;
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

void Form1::traite_evenements() {
  // The exchange's own pause, after a file and after the export: every
  // event runs here, the user's too, as it always has.
  modele_journal->met_avancement(QString());
  selectionne_derniere_ligne();
  QCoreApplication::processEvents();
}

}  // namespace pontex::fenetres

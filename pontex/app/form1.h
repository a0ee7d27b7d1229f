#pragma once
// The main window of Pontex and its start-up object: the files waiting in
// the transit folder, the cash-register folder and its article count, the
// journal, the start countdown and the minutes left until the next exchange,
// and the buttons for the settings, the background mode and quitting.
//
// The exchange procedures of the core see it through FenetreEchange.

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/fenetre_echange.h"
#include "pontex/shared/horloge.h"
#include "pontex/shared/processus.h"
#include "pontex/shared/resultat.h"

class QLabel;
class QListView;
class QListWidget;
class QPushButton;
class QTimer;

namespace pontex::fenetres {

class BoiteFichiers;
class Forme;
class ImageClic;
class Minuteur;
class ModeleJournal;
class Programme;

// A countdown the shop reads in a label: the number lives here and the label
// shows it. A caption written by anything else (a test, someone shortening
// the wait) is what counts from then on, as it always was: it is taken in at
// the next reading.
class CompteARebours {
 public:
  void attache(QLabel* label) { label_ = label; }
  // Shows the text ("5", "-", the restart delay as the configuration gives
  // it) and counts on from the number it reads as, 0 when none.
  void affiche(const QString& texte);
  // One down, shown with at least two digits ("04", "00", "-01"); gives the
  // number now shown.
  double decompte();
  // Nothing shown: never armed in this process.
  bool vide();

 private:
  void reprend_legende();
  QLabel* label_ = nullptr;
  QString legende_;  // what this countdown last showed
  double valeur_ = 0;
};

class Form1 : public QWidget, public FenetreEchange {
  Q_OBJECT
 public:
  explicit Form1(Programme& programme);
  ~Form1() override;

  // Start-up sequence. Runs before the window is shown; then montre().
  void Form_Load();
  // Shows the window as the start-up left it: minimised or normal.
  void montre();

  void bt_fin_Click();
  void bt_outils_Click();
  void Image3_Click();
  void Timer1_Timer();
  void Timer2_Timer();
  void Label11_Click();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void lance_cycle();
  // A stop asked by the system (logoff, shutdown, a signal): the program
  // ends at once when no exchange runs, else once the exchange has
  // finished its record; its journal is written first, and no restart
  // follows.
  void arret_systeme();
  // The settings no longer hold unsaved edits: a restart that waited for
  // them goes now.
  void reprend_relance();

  // A register folder that held cash-register data before and is missing
  // at a start (a till PC's share away while it reboots): the window says
  // so, without a dialog nobody may be there to answer, and looks again
  // every delai_essai_caisse until the data is back; then the start
  // countdown is armed as at any start.
  static constexpr int delai_essai_caisse_s = 10;
  void essaie_caisse();
  bool attend_caisse() const;
  // Tests try again sooner; the window keeps saying 10 s.
  void met_delai_essai_caisse(std::chrono::milliseconds delai) { delai_essai_caisse_ = delai; }

  // How this process was started: by a person (the window takes the focus)
  // or by the restart or the start at login (it does not). Read from the
  // platform and the arguments at construction; tests set it.
  void met_lancement(Fenetre_lancement lancement) { lancement_ = lancement; }

  void ajoute_journal_texte(const QString& message, SorteLigne sorte = SorteLigne::information);
  // Refreshes the two file lists, except while an exchange works on them.
  void suit_dossiers();
  // Writes the journal lines still pending to the journal file; the
  // window says once per process when that file cannot be written.
  // False when they could not be.
  bool ecrit_journal();
  void affiche_dossiers();

  // How often a long exchange lets the window repaint and show its progress
  // (once a second: each time the list lays out all its rows again, some
  // twenty million instructions once the journal holds 100,000 lines, and a
  // long import's journal grows by thousands a second); tests set 0 to have
  // it at every journal line.
  void met_intervalle_avancement(std::chrono::milliseconds intervalle) {
    intervalle_avancement_ = intervalle;
  }

  // FenetreEchange.
  using FenetreEchange::ajoute_journal;
  void ajoute_journal(std::string_view message, SorteLigne sorte) override;
  std::vector<std::string> noms_File1() override;
  void rafraichit_File1() override;
  std::vector<std::string> noms_File2() override;
  void rafraichit_File2() override;
  void remplit_List2(const std::vector<std::string>& noms) override;
  void traite_evenements() override;

  // Controls, top to bottom.
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label1;
  BoiteFichiers* File1;
  BoiteFichiers* File2;
  QListView* List1;
  ModeleJournal* modele_journal;  // List1's lines
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  Forme* Shape3;
  QLabel* Image1;
  QLabel* Label13;
  Forme* Shape4;
  QLabel* Label12;
  QLabel* Label14;
  ImageClic* bt_stop;
  Forme* Shape1;
  QLabel* Label10;
  Forme* Shape2;
  QLabel* Label9;
  ImageClic* Label11;
  ImageClic* bt_outils;
  QLabel* Label18;
  ImageClic* Image3;
  ImageClic* bt_fin;
  // Below the countdown block: when the server last got this shop's stock,
  // and, while it lasts, the wait for the register folder.
  QLabel* label_dernier_echange;
  QLabel* label_attente_caisse;
  // In the same place, while a restart waits for the settings.
  QLabel* label_attente_relance;
  Minuteur* Timer1;
  Minuteur* Timer2;
  // Test controls beyond the right edge, out of the tab order.
  QListWidget* List2;
  QPushButton* Command3;
  QPushButton* Command2;
  QPushButton* Command1;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void cree_controles();
  void prepare_journal();
  void ordonne_clavier();
  void relie_evenements();
  // The start-up's steps after the journal's first line.
  void montre_parametres();
  // The register folder's data: there, awaited (it was there before), or
  // never seen here (the shop is told and nothing is armed).
  enum class EtatCaisse { presente, attendue, inconnue };
  EtatCaisse verifie_caisse();
  void arme_depart();
  void prend_mode_fond();
  void commence_attente_caisse();
  void arrete_attente_caisse();
  // "dd-mm-yyyy hh:mm", "" when there was none.
  void montre_dernier_echange(const std::string& quand);
  // The export of this cycle reached the server's folder: remembered and
  // shown.
  void note_echange_reussi();
  // Journals each transit sub-folder the exchange needs and cannot find;
  // gives the first line, empty when both are there.
  QString signale_transit_absent();
  void selectionne_derniere_ligne();
  // The newest line selected at the next event pass (queued by
  // ajoute_journal); during an exchange the progress repaint shows the lines.
  void selection_prevue();
  // The restart: through the relauncher, or, when that cannot be started,
  // said and tried again a minute later.
  void relance();
  void attend_parametrage();
  void montre_avis_relance(const Resultat& echec);
  // Runs an exchange procedure of the core: while it runs, the window
  // repaints and shows its progress, and nothing it receives can start,
  // quit or restart anything (see form1_journal.cpp). One asked while
  // another runs (from the exchange's own event pause) is not run, and none
  // runs without the folder lock.
  void pendant_echange(const std::function<void()>& echange);
  void montre_avancement();
  void rejoue_differes();

  void garde_journal(const DateHeure& quand, std::string_view message);
  Programme& programme_;
  QTimer* suivi_dossiers_;
  bool selection_prevue_ = false;
  bool ecriture_journal_prevue_ = false;
  bool journal_signale_ = false;
  bool demarre_reduit_ = false;
  // The journal's stamp, formatted again only when the clock has moved.
  DateHeure date_horodatage_;
  std::string horodatage_;
  // The exchange under way, if any.
  bool echange_en_cours_ = false;
  std::int64_t lignes_echange_ = 0;
  std::chrono::steady_clock::time_point prochain_avancement_;
  std::chrono::milliseconds intervalle_avancement_{1000};
  // The start countdown in Label9 (seconds) and the restart countdown in
  // Label12 (minutes).
  CompteARebours depart_;
  CompteARebours redemarrage_;
  bool Timer1_differe_ = false;
  bool Timer2_differe_ = false;
  bool relance_attend_ = false;
  bool avis_relance_montre_ = false;
  Fenetre_lancement lancement_ = Fenetre_lancement::normale;
  bool sans_focus_ = false;
  Minuteur* essai_caisse_;
  std::chrono::milliseconds delai_essai_caisse_{delai_essai_caisse_s * 1000};
};

}  // namespace pontex::fenetres

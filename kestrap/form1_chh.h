#pragma once
// The registration tool's window: shows whether Pontex starts at login
// (its entry file lies in the user's Startup folder) and lets the user add
// ("Activer") or remove ("Annuler") that entry, then go back ("Fin").

#include <QLabel>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "pontex/fenetres/controles.h"
#include "pontex/shared/resultat.h"

namespace kestrap {

// What the window asks of the system beyond files: where the Startup folder
// is, starting the return command, ending the process. Tests put their own
// here so that "Fin" does not end the test runner.
struct ServicesSysteme {
  std::function<std::optional<std::string>()> dossier_demarrage;
  std::function<pontex::Resultat(std::string_view)> demarre_commande;
  std::function<void(int)> termine_processus;
};

// The platform layer's Startup folder, command start and process end.
ServicesSysteme systeme_reel();

class Form1_chh : public QWidget {
  Q_OBJECT

 public:
  explicit Form1_chh(ServicesSysteme systeme);

  // Reads the picture, the list file and the Startup folder afresh and shows
  // the status. Runs at start and after "Activer" and "Annuler".
  void Form_Load();
  // Places the window in the middle of the screen and shows it, the focus
  // on "Fin".
  void affiche();

  void Command1_Click();  // "Fin": start the return command and end
  void Command2_Click();  // "Activer": copy the entry into the Startup folder
  void Command3_Click();  // "Annuler": delete the entry from the Startup folder

  // Values of the last load (Windows-1252 bytes, as in the list file).
  const std::string& nom_entree() const { return nom_entree_; }
  const std::string& commande_retour() const { return commande_retour_; }
  const std::optional<std::string>& dossier_demarrage() const { return dossier_demarrage_; }

  QLabel* const Image1;
  QLabel* const Label3;
  pontex::fenetres::Forme* const Shape1;
  QLabel* const Label6;
  QLabel* const Label7;
  QToolButton* const Command2;
  pontex::fenetres::Forme* const Shape2;
  QLabel* const Label4;
  QToolButton* const Command3;
  pontex::fenetres::Forme* const Shape3;
  QLabel* const Label5;
  QToolButton* const Command1;

 protected:
  // The window manager's close request ends the tool the way "Fin" does,
  // so the user is brought back to Pontex however the window is closed.
  void closeEvent(QCloseEvent* event) override;
  // Enter presses the button that has the focus, as on the workstation.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The entry can be used: a plain file name, so that the copy and the
  // delete stay inside the Startup folder.
  bool entree_utilisable() const;

  ServicesSysteme systeme_;
  std::string nom_entree_;
  std::string commande_retour_;
  std::optional<std::string> dossier_demarrage_;
};

}  // namespace kestrap

#pragma once
// The main window of Pontex and its start-up object: the files waiting in
// the transit folder, the cash-register folder and its article count, the
// journal, the start countdown and the minutes left until the next exchange,
// and the buttons for the settings, the background mode and quitting.
//
// The exchange procedures of the core see it through FenetreEchange.

#include <QWidget>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/fenetre_echange.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace pontex::fenetres {

class BoiteFichiers;
class Forme;
class ImageClic;
class Minuteur;
class Programme;

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

  void ajoute_journal_texte(const QString& message);
  void affiche_dossiers();

  // FenetreEchange.
  void ajoute_journal(std::string_view message) override;
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
  QListWidget* List1;
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
  void selectionne_derniere_ligne();
  Programme& programme_;
  bool selection_prevue_ = false;
  bool demarre_reduit_ = false;
  // The starter asked for a minimised start without the focus.
  bool sans_focus_ = false;
};

}  // namespace pontex::fenetres

#pragma once
// The settings window: "Pontex.wdo" edited as free text. Saving writes the
// file, creates the transit folder tree and restarts Pontex so the new
// settings take effect; the other two buttons start the start-at-login
// tool or stop Pontex. All three end the program.

#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QPlainTextEdit;

namespace pontex::fenetres {

class ImageClic;
class Programme;

class outils : public QDialog {
  Q_OBJECT
 public:
  outils(Programme& programme, QWidget* parent = nullptr);
  ~outils() override;

  // Loads the window and shows it modally; returns when it is closed.
  static void montre(Programme& programme, QWidget* parent = nullptr);

  void Form_Load();
  void bt_fin_Click();
  // 0: start the start-at-login tool and end; 1: end.
  void btc_Click(int Index);

  QLabel* Label1;
  QPlainTextEdit* Text1;
  std::array<ImageClic*, 2> btc;
  QLabel* Label2;
  QLabel* Label3;
  ImageClic* bt_fin;
  QLabel* Label4;
  QLabel* label_attente_relance;

  // Test seam, as form97's: actions run on each newly shown window.
  using ActionTest = std::function<void(outils&)>;
  static void prevoit_action(ActionTest action);
  static void met_action_par_defaut(ActionTest action);
  static void oublie_actions();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  Programme& programme_;
  // "Pontex.wdo" is written back in the encoding it was read in.
  bool utf8_ = false;
};

// The configuration text as the window shows it: every line of the file
// (ended by CR, CR LF or LF) followed by a line break; "" for no file.
// `contenu` is Windows-1252, or UTF-8 when `utf8`.
QString texte_parametrage(std::string_view contenu, bool utf8 = false);

// What the window offers when there is no "Pontex.wdo" yet: every key, each
// with a "|" comment saying what it is for.
QString modele_parametrage();

}  // namespace pontex::fenetres

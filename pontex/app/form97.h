#pragma once
// The program's own message dialog: every question and notice of Pontex.
// Callers set the dialog mode and message, show it modally, and read the
// answer back from the mode.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;

namespace pontex::fenetres {

class ImageClic;

// A 32-bit value, as the callers have always passed it: what to show before,
// the answer after.
enum class ModeDialogue : std::int32_t {
  avis = 0,      // a notice with one button (any value but question)
  question = 4,  // a yes/no question
  oui = 6,       // answered yes / OK
  non = 7,       // answered no / cancel
};

struct ValeursDialogue {
  // Before showing: question or a notice; after closing: oui or non.
  ModeDialogue mode = ModeDialogue::avis;
  // The message to show; empty after closing. Lines end with CR LF.
  QString message;
};

class form97 : public QDialog {
  Q_OBJECT
 public:
  form97(ValeursDialogue& valeurs, QWidget* parent = nullptr);

  // Loads a new dialog from the values, shows it modally and returns when it
  // has been answered; the answer is then in valeurs.mode.
  static void montre(ValeursDialogue& valeurs, QWidget* parent = nullptr);

  void Form_Load();
  void bt_oui_Click();
  void bt_no_Click();
  // Enter (13) answers yes, Escape (27) no; other keys do nothing.
  void Form_KeyPress(int KeyAscii);

  QLabel* Label1;
  QLabel* Label2;
  ImageClic* bt_oui;
  ImageClic* bt_no;

  // Test seam: an action run on each newly shown dialog (from the event loop
  // once it is shown: inspect it, press a key, click, or wait). Actions
  // given with prevoit_action run first, one per showing; otherwise the
  // default one, if any. Unset in the program.
  using ActionTest = std::function<void(form97&)>;
  static void prevoit_action(ActionTest action);
  static void met_action_par_defaut(ActionTest action);
  static void oublie_actions();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  void repond(ModeDialogue reponse);
  ValeursDialogue& valeurs_;
};

// The message routine: shows the notice of the message code. -1: the
// cash-register folder (Windows-1252 bytes, with its trailing backslash)
// holds no cash-register data. Other codes show nothing.
void affiche_message(std::int16_t code_message, ValeursDialogue& dialogue,
                     const QString& saut_ligne, const std::string& dossier_caisse,
                     QWidget* parent = nullptr);

// The cash-register folder as the notice names it, or, while "#FICBASE#"
// is empty or missing (a first start), that it is not set.
QString dossier_caisse_signale(const std::string& dossier_caisse);

// The notice's sentence and folder on one line, for the journal.
QString texte_sans_donnees_caisse(const std::string& dossier_caisse);

}  // namespace pontex::fenetres

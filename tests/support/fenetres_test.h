#pragma once
// Window tests: starts and ends noted, never done; one process in-process; no modal window left
// waiting for an answer. The shop is tests/support/boutique.h, started with DepartPontex.

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/app/form1.h"
#include "pontex/app/form97.h"
#include "pontex/app/outils.h"
#include "pontex/app/programme.h"
#include "pontex/exchange/etat_echange.h"
#include "pontex/fenetres/boite_fichiers.h"
#include "pontex/fenetres/controles.h"
#include "pontex/fenetres/systeme.h"
#include "pontex/shared/horloge.h"
#include "tests/support/boutique.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace pontex::test {

struct Demarrage {
  std::string nom;
  Fenetre_lancement fenetre;
};

class SystemeEnregistreur : public fenetres::Systeme {
 public:
  Resultat demarre(std::string_view nom, Fenetre_lancement fenetre) override;
  void termine() override { ++terminaisons; }
  // Starts refused with this reason (the program missing, the system saying
  // no); each attempt is still recorded.
  std::string refus;
  std::vector<Demarrage> demarrages;
  int terminaisons = 0;
};

// One Pontex process, in-process: fixed clock, recording system, the main window (not yet loaded).
struct Processus {
  Processus();
  HorlogeFixe horloge{DateHeure{2026, 2, 3, 14, 5, 37}};
  SystemeEnregistreur systeme;
  fenetres::Programme programme;
  std::unique_ptr<fenetres::Form1> fenetre;

  std::vector<QString> journal() const;  // the journal's lines, shown or not yet
};

// While it lives, a dialog shown with no action prepared fails the test and is closed.
class GardeModales {
 public:
  GardeModales();
  ~GardeModales();
  std::vector<QString> inattendues;
};

// The shop's status file as Pontex left it (nothing when none), and what
// pontex-etat answers about it now.
std::optional<EtatEchange> etat_lu(const Boutique& b);
Verdict verdict_etat(const Boutique& b);

// The register's folder as the windows show it: on Linux with "/" only.
QString caisse_affichee(const Boutique& b);

// The window's label texts that do not show whole with the fonts at hand.
std::vector<QString> textes_coupes(const QWidget& fenetre);

// Whether the tests run under Wine (the Windows build on Linux), whose
// fonts and keyboard focus are not a shop's Windows.
bool sous_wine();

// Closes a window as the window manager's close button does.
void ferme_par_gestionnaire(QWidget& fenetre);

// The ways a person answers the message dialog.
enum class Geste { clic_oui, clic_non, entree, pave_entree, echap, fermeture };
void repond(fenetres::form97& d, Geste g);

}  // namespace pontex::test

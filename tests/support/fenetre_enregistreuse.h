#pragma once
// Stand-in for the main window in tests: records the journal messages in order (without time
// stamps), shows the import and export folders through real file lists, keeps what the export puts
// into List2 and counts the passes through the event loop. A test can hook the event passes to act
// like the server or the user between two files.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pontex/exchange/fenetre_echange.h"
#include "pontex/shared/liste_fichiers.h"

namespace pontex::test {

class FenetreEnregistreuse : public FenetreEchange {
 public:
  FenetreEnregistreuse() = default;
  // Points File1 at transit + "import" and File2 at transit + "export", as
  // the window does at start-up (`transit` ends with a backslash).
  explicit FenetreEnregistreuse(const std::string& transit);

  void ajoute_journal(std::string_view message) override;
  std::vector<std::string> noms_File1() override;
  void rafraichit_File1() override;
  std::vector<std::string> noms_File2() override;
  void rafraichit_File2() override;
  void remplit_List2(const std::vector<std::string>& noms) override;
  void traite_evenements() override;

  ListeFichiers File1{"*.txt"};
  ListeFichiers File2{"stock_*.txt"};
  std::vector<std::string> journal;
  std::vector<std::string> List2;
  int passes_evenements = 0;
  // Called at each event pass, after the count.
  std::function<void()> pendant_evenements;
};

}  // namespace pontex::test

#pragma once
// The main window's stand-in: journal lines in order, real file lists, List2, and the event-loop
// passes, which a test can hook to act as the server or the user between two files.

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

  using FenetreEchange::ajoute_journal;
  void ajoute_journal(std::string_view message, SorteLigne sorte) override;
  std::vector<std::string> noms_File1() override;
  void rafraichit_File1() override;
  std::vector<std::string> noms_File2() override;
  void rafraichit_File2() override;
  void remplit_List2(const std::vector<std::string>& noms) override;
  void traite_evenements() override;

  ListeFichiers File1{"*.txt"};
  ListeFichiers File2{"stock_*.txt"};
  std::vector<std::string> journal;
  std::vector<SorteLigne> sortes;  // each journal line's kind, in the same order
  std::vector<std::string> List2;
  int passes_evenements = 0;
  // Called at each event pass, after the count.
  std::function<void()> pendant_evenements;
};

}  // namespace pontex::test

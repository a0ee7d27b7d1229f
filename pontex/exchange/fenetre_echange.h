#pragma once
// What the exchange procedures need of the main window: its journal, its two
// file lists and a chance to let pending window events run. The window
// implements it with its widgets; tests with a recorder.

#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/lignes_journal.h"

namespace pontex {

// The patterns of the two file lists, fixed at design: the exchange lists
// the folders it holds with them.
inline constexpr std::string_view motif_File1 = "*.txt";
inline constexpr std::string_view motif_File2 = "stock_*.txt";

class FenetreEchange {
 public:
  virtual ~FenetreEchange() = default;

  // Appends one journal line of the kind given; the window adds its time
  // stamp. Windows-1252 bytes. A class that overrides it brings the
  // one-argument form back with `using FenetreEchange::ajoute_journal;`.
  virtual void ajoute_journal(std::string_view message, SorteLigne sorte) = 0;
  void ajoute_journal(std::string_view message) {
    ajoute_journal(message, SorteLigne::information);
  }

  // Import list (folder: transit + "import", pattern "*.txt"): the names it
  // shows now, and a refresh from the disk.
  virtual std::vector<std::string> noms_File1() = 0;
  virtual void rafraichit_File1() = 0;
  // Export list (folder: transit + "export", pattern "stock_*.txt").
  virtual std::vector<std::string> noms_File2() = 0;
  virtual void rafraichit_File2() = 0;
  // The hidden working list of the export: the waiting files it archives.
  virtual void remplit_List2(const std::vector<std::string>& noms) = 0;

  // Lets the window handle its pending events once.
  virtual void traite_evenements() = 0;
};

}  // namespace pontex

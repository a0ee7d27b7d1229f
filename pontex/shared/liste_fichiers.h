#pragma once
// What a file list box of the windows holds: a folder, a fixed name pattern
// and the names it showed at its last refresh. The main window's import and
// export lists are built on it, and so is the stand-in window of the tests.

#include <string>
#include <string_view>
#include <vector>

#include "pontex/shared/resultat.h"

namespace pontex {

class ListeFichiers {
 public:
  explicit ListeFichiers(std::string motif) : motif_(std::move(motif)) {}

  // Points the list at `dossier` (Windows-style, no trailing backslash
  // needed) and refreshes it. A folder that does not exist fails and the
  // list shows no name, at every refresh, for as long as it is missing.
  Resultat met_dossier(std::string dossier);
  // Reads the folder again. A folder that has disappeared shows no name.
  void rafraichit();

  const std::vector<std::string>& noms() const { return noms_; }
  const std::string& dossier() const { return dossier_; }
  const std::string& motif() const { return motif_; }

 private:
  std::string motif_;
  std::string dossier_;
  std::vector<std::string> noms_;
};

}  // namespace pontex

#pragma once
// The lines of the main window's journal, kept compactly: an import of a
// million records journals a million lines, and the journal lives as long
// as the process. The lines lie back to back in large blocks of bytes
// (Windows-1252, as the core writes them) and each line costs a small fixed
// mark besides its text; adding a line never moves the lines already kept.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

namespace pontex {

// What a journal line tells, said by whoever writes it, never guessed back
// from its French text (a designation may read like an error): the window
// makes errors, refusals and stops stand out, the status file counts them.
enum class SorteLigne : std::uint8_t {
  information,   // a step done, a file taken up again, the program's own steps
  fichier_pris,  // a movement file taken from the import folder
  mouvement,     // a movement applied
  erreur,        // something not applied or not written
  refus,         // a file or folder of the transit folder left as it is
  arret,         // an analysis or an exchange stopped before its end
};
constexpr bool est_alerte(SorteLigne s) {
  return s == SorteLigne::erreur || s == SorteLigne::refus || s == SorteLigne::arret;
}

class LignesJournal {
 public:
  // Appends the line stamp + " - " + message.
  void ajoute(std::string_view horodatage, std::string_view message,
              SorteLigne sorte = SorteLigne::information);

  std::size_t taille() const { return reperes_.size(); }
  bool vide() const { return reperes_.empty(); }
  // Line i (0 = oldest); valid until the store is destroyed.
  std::string_view ligne(std::size_t i) const;
  SorteLigne sorte(std::size_t i) const { return reperes_[i].sorte; }

 private:
  struct Bloc {
    std::unique_ptr<char[]> octets;
    std::size_t capacite = 0;
    std::size_t utilise = 0;
  };
  struct Repere {
    std::uint32_t bloc;
    std::uint32_t debut;
    std::uint32_t longueur;
    SorteLigne sorte;
  };

  char* place_pour(std::size_t longueur, Repere& r);

  std::vector<Bloc> blocs_;
  // A deque grows without copying the marks already there.
  std::deque<Repere> reperes_;
};

}  // namespace pontex

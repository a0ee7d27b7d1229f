#pragma once
// The lines of the main window's journal, kept compactly: an import of a
// million records journals a million lines, and the journal lives as long
// as the process. The lines lie back to back in large blocks of bytes
// (Windows-1252, as the core writes them), each with a small fixed mark;
// adding a line never moves the lines already kept. What every movement
// line repeats is kept once: its stamp, shared by the lines of a second,
// once per block where it changes, and the spaces that pad its designation
// as a count. A line is put together again when the window asks for it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
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

  std::size_t taille() const { return taille_; }
  bool vide() const { return taille_ == 0; }
  // Line i (0 = oldest), whole, as it was added.
  std::string ligne(std::size_t i) const;
  SorteLigne sorte(std::size_t i) const;

 private:
  // One line: where its kept bytes end in its block (they start where the
  // line before ends), the spaces that ended its message, not kept.
  struct Ligne {
    std::uint32_t fin;
    std::uint16_t espaces;
    SorteLigne sorte;
  };
  // A stamp, from the line of its block where it starts, and where its
  // text starts in the block's stamps.
  struct Horodatage {
    std::uint32_t premiere;
    std::uint32_t debut;
  };
  struct Bloc {
    std::unique_ptr<char[]> octets;
    std::size_t capacite = 0;
    std::size_t premiere = 0;  // the number of its first line
    std::vector<Ligne> lignes;
    std::vector<Horodatage> horodatages;  // the first one at its first line
    std::string textes_horodatages;       // their texts back to back

    std::size_t utilise() const { return lignes.empty() ? 0 : lignes.back().fin; }
  };

  Bloc& bloc_pour(std::size_t longueur);
  const Bloc& bloc_de(std::size_t i) const;
  static std::string_view horodatage_de(const Bloc& b, std::size_t j);

  std::vector<Bloc> blocs_;
  std::size_t taille_ = 0;
};

}  // namespace pontex

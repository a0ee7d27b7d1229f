#pragma once
// A fresh temporary folder per test, the current directory while it lives.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "pontex/shared/fichiers.h"

namespace pontex::test {

class DossierTemporaire {
 public:
  // Creates a new empty folder under the system's temporary folder and, when
  // `entrer` is true, makes it the current directory until destruction.
  explicit DossierTemporaire(bool entrer = true);
  ~DossierTemporaire();
  DossierTemporaire(const DossierTemporaire&) = delete;
  DossierTemporaire& operator=(const DossierTemporaire&) = delete;

  const std::filesystem::path& chemin() const { return chemin_; }
  // The folder as a Windows-style value ending with a backslash, as
  // "Pontex.wdo" would hold it ("/tmp/pontex-x\\" on Linux).
  std::string valeur_dossier() const;

 private:
  std::filesystem::path chemin_;
  std::filesystem::path precedent_;
  bool entre_;
};

// Reads a whole file as bytes ("" when missing).
std::string lit_octets(const std::filesystem::path& p);
// Writes bytes, creating parent folders.
void ecrit_octets(const std::filesystem::path& p, const std::string& octets);

// A Windows-style path of the program (see fichiers.h) as a path the C++
// library opens: resolved as the program would, case-insensitively on Linux.
std::filesystem::path chemin_disque(std::string_view chemin);
// Appends to a text file of the program, creating it when missing.
Resultat ajoute_texte(std::string_view chemin, std::string_view contenu);
// Last change of a file since 1970 (UTC), with the sub-second part the file
// system keeps, or nothing.
std::optional<std::chrono::nanoseconds> date_modification(std::string_view chemin);

// Makes the chosen operations fail while it lives.
class EchecInjecte {
 public:
  explicit EchecInjecte(CrochetEchec crochet) { installe_crochet_echec(std::move(crochet)); }
  ~EchecInjecte() { installe_crochet_echec({}); }
  EchecInjecte(const EchecInjecte&) = delete;
  EchecInjecte& operator=(const EchecInjecte&) = delete;
};

}  // namespace pontex::test

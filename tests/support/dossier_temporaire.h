#pragma once
// A fresh temporary folder per test, the current directory while it lives.

#include <filesystem>
#include <string>

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

// Makes the chosen operations fail while it lives.
class EchecInjecte {
 public:
  explicit EchecInjecte(CrochetEchec crochet) { installe_crochet_echec(std::move(crochet)); }
  ~EchecInjecte() { installe_crochet_echec({}); }
  EchecInjecte(const EchecInjecte&) = delete;
  EchecInjecte& operator=(const EchecInjecte&) = delete;
};

}  // namespace pontex::test

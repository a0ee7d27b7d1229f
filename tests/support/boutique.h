#pragma once
// The tests' shop in the current directory: a transit tree and a register, either the small one
// below (clock pinned to 5 December 2026, 21:07:09) or the maker's 20 articles and a "Pontex.wdo".

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pontex/data/valeurs.h"
#include "tests/support/dossier_temporaire.h"
#include "tests/support/fenetre_enregistreuse.h"
#include "tools/fabrique_caisse.h"

namespace pontex::test {

namespace fs = std::filesystem;

// The small register most scenarios use (codes 13 digits, alternative
// references with a dash):
//  1 PAIN DE CAMPAGNE  stock 10, second quantity 5, BOU-001, listed
//  2 CAFÉ EN GRAINS    stock 2.5, EPI-002, listed
//  3 SUCRE             stock -2, blank alternative reference, listed
//  4 RIZ               stock 1, EPI-004, exclusion mark "1"
//  5 (no code) BEURRE  stock 1234.5, blank alternative reference, listed
//  6 THÉ               stock 0.125, EPI-006, exchange mark "0"
std::vector<fabrique::DescriptionArticle> articles_boutique();

// The program's start: 20 exchanged articles with references, "Pontex.wdo" with `tim_ana`.
struct DepartPontex {
  bool fichier_principal = true;
  std::string tim_ana = "30";
};

class Boutique {
 public:
  // The folders, no register yet.
  explicit Boutique(char separateur = '.');
  // The folders, the sample register and "Pontex.wdo".
  explicit Boutique(const DepartPontex& depart);

  // Writes the articles and an index of their codes and non-blank
  // alternative references (all sorted), and an empty movement file.
  void ecrit_caisse(const std::vector<fabrique::DescriptionArticle>& articles);

  // A file from the server in the import folder, last changed an hour ago
  // (a file changed within the last two seconds is left for the next cycle).
  fs::path depose(const std::string& nom, const std::string& contenu);
  // The working file in the current directory.
  void ecrit_analyse(const std::string& contenu);

  fs::path import() const { return racine_ / "transit" / "import"; }
  fs::path exporte() const { return racine_ / "transit" / "export"; }
  fs::path histo() const { return exporte() / "histo"; }
  fs::path caisse() const { return racine_ / "caisse"; }
  fs::path fichier_erreurs(const std::string& jj_mm_aaaa = "05-12-2026") const {
    return import() / ("erreurs_" + jj_mm_aaaa + ".err");
  }
  std::string dossier_caisse() const;  // Windows-style, ends with "\"
  // `relatif` is UTF-8, as the tests' sources are (on Windows a narrow path
  // would be read in the ANSI code page).
  fs::path chemin(const std::string& relatif) const {
    return racine_ / fs::path(std::u8string(relatif.begin(), relatif.end()));
  }
  void ecrit_configuration(const std::string& texte) const;

  EnregistrementArticle article(std::int32_t k) const;      // 0: header
  EnregistrementMouvement mouvement(std::int32_t m) const;  // 0: header
  // The sample register: the alternative reference of article k, trimmed
  // (the register indexes it), and its stock on disk.
  std::string reference(int k) const;
  float stock(int k) const;
  // Names of the plain files of a folder, sorted.
  static std::vector<std::string> fichiers(const fs::path& dossier);

  DossierTemporaire dossier;
  HorlogeFixe horloge;
  ValeursProgramme valeurs;
  FenetreEnregistreuse fenetre;
  std::vector<EnregistrementArticle> originaux;  // as written by ecrit_caisse
  fabrique::ContenuCaisse registre;              // the sample register

 private:
  fs::path racine_;
};

// The exchange tests' fixture: the small register, and the steps as the window runs them.
class Echange : public ::testing::Test {
 protected:
  Echange() { b.ecrit_caisse(articles_boutique()); }
  void importe();  // the import folder
  void exporte();  // the stock export
  void cycle() {
    importe();
    exporte();
  }
  void applique(const std::string& contenu);  // a working file
  // An import, or the start-up's resume of the working file, with a fresh journal, returned.
  const std::vector<std::string>& reimporte();
  const std::vector<std::string>& reprend();
  bool analyse_presente() const;
  std::string erreurs() const { return lit_octets(b.fichier_erreurs()); }

  Boutique b;
};

// A designation as the journal shows it: all its 40 characters.
std::string designation_40(const std::string& d);
// The journal line of a movement of articles 1 and 2 of the small register ("2.00" x ...).
std::string ligne_pain(const std::string& quantite);
std::string ligne_cafe(const std::string& quantite);

// A movement of 5 December 2026, 21:07, laid out byte by byte rather than through the codec: date
// 0..9, time 10..14, code 15..29, spaces 30..35, quantity 36..39 (float LE), value 40..47,
// workstation 48..51 (Long LE), user 52..53 (Integer LE), origin 54..63.
std::string mouvement_attendu(const std::string& code, float quantite, std::int64_t valeur,
                              std::int32_t poste, std::int16_t utilisateur);
// Little-endian bytes of a float, as a Single field holds it.
std::string octets_f32(float v);
// The bytes of a record.
template <typename E>
std::string octets_de(const E& e) {
  return std::string(e.octets.begin(), e.octets.end());
}

}  // namespace pontex::test

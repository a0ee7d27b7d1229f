// Files of the transit folder as the platform layer handles them: one name
// is one name, a pipe or folder under a file's name is refused at once (no
// wait), and a copy that fails leaves neither a temporary file nor a changed
// destination behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "pontex/shared/fichiers_transit.h"
#include "tests/support/dossier_temporaire.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

TEST(NomSimple, OnlyOnePlainName) {
  for (const char* nom : {"a.txt", "stock_20261205210709.txt", "caf\xE9.txt", ".cache", "a b.txt"})
    EXPECT_TRUE(nom_simple(nom)) << nom;
  for (const char* nom : {"", ".", "..", "a\\b.txt", "../b.txt", "C:b.txt", "a.txt:flux", "a*.txt",
                          "a\nb.txt", "a.txt.", "a.txt "})
    EXPECT_FALSE(nom_simple(nom)) << nom;
}

std::vector<std::string> noms(const fs::path& dossier) {
  std::vector<std::string> r;
  for (const auto& e : fs::directory_iterator(dossier)) r.push_back(e.path().filename().string());
  std::sort(r.begin(), r.end());
  return r;
}

// The current directory, held as the exchange holds its folders.
DossierTenu ici() {
  DossierTenu d;
  EXPECT_EQ(ouvre_dossier("", d), OuvertureDossier::ouvert);
  return d;
}

TEST(CopieEntree, AFolderOrPipeUnderAFileNameIsRefusedAtOnce) {
  DossierTemporaire d;
  const DossierTenu h = ici();
  fs::create_directory(d.chemin() / "dossier.txt");
  Refus refus = Refus::aucun;
  EXPECT_FALSE(copie_entree({h, "dossier.txt"}, {{h, "copie"}}, taille_max_recu, refus));
  EXPECT_EQ(refus, Refus::pas_un_fichier);
#ifndef _WIN32
  // Opened for reading, a pipe with no writer would block for ever.
  ASSERT_EQ(::mkfifo((d.chemin() / "tube.txt").c_str(), 0600), 0);
  EXPECT_FALSE(copie_entree({h, "tube.txt"}, {{h, "copie"}}, taille_max_recu, refus));
  EXPECT_EQ(refus, Refus::pas_un_fichier);
#endif
  EXPECT_FALSE(fs::exists(d.chemin() / "copie"));
}

TEST(CopieEntree, AFailedDestinationLeavesNoTemporaryBehind) {
  DossierTemporaire d;
  const DossierTenu h = ici();
  ecrit_octets(d.chemin() / "a.txt", "nouveau");
  ecrit_octets(d.chemin() / "b.old", "ancien");
  fs::create_directory(d.chemin() / "c.old");  // cannot be replaced by a file
  Refus refus = Refus::aucun;
  EXPECT_FALSE(copie_entree({h, "a.txt"}, {{h, "c.old"}, {h, "b.old"}}, 7, refus));
  EXPECT_EQ(refus, Refus::aucun);
  EXPECT_EQ(noms(d.chemin()), (std::vector<std::string>{"a.txt", "b.old", "c.old"}));
  // The bound is checked on what the handle holds, one byte over refuses.
  EXPECT_FALSE(copie_entree({h, "a.txt"}, {{h, "b.old"}}, 6, refus));
  EXPECT_EQ(refus, Refus::trop_volumineux);
  EXPECT_EQ(lit_octets(d.chemin() / "b.old"), "ancien");
  EXPECT_TRUE(copie_entree({h, "a.txt"}, {{h, "b.old"}}, 7, refus));
  EXPECT_EQ(lit_octets(d.chemin() / "b.old"), "nouveau");
  EXPECT_EQ(noms(d.chemin()), (std::vector<std::string>{"a.txt", "b.old", "c.old"}));
}

}  // namespace
}  // namespace pontex::test

// Transit files: one name is one name, pipes and folders refused at once, failed copies clean.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pontex/shared/fichiers_transit.h"
#include "pontex/shared/plateforme_interne.h"
#include "tests/support/dossier_temporaire.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#endif

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

TEST(NomSimple, UnSeulNomSimple) {
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

TEST(CopieEntree, UnDossierOuUnTubeSousUnNomDeFichierEstRefuseAussitot) {
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

TEST(CopieEntree, UneDestinationEnEchecNeLaissePasDeTemporaire) {
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

#ifndef _WIN32
// A full disk mid-exchange: no file cut short kept, no temporary left, appends keep earlier lines.
bool disque_plein_dans_le_transit(const std::string& gros) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limite;
  limite.rlim_cur = limite.rlim_max = 1000;
  if (::setrlimit(RLIMIT_FSIZE, &limite) != 0) return false;
  const DossierTenu h = ici();
  Refus refus = Refus::aucun;
  std::string temporaire;
  return !ecrit_entree({h, "stock.txt"}, gros) && !fs::exists("stock.txt") &&
         !copie_entree({h, "a.txt"}, {{h, "a.old"}}, taille_max_recu, refus) &&
         lit_octets("a.old") == "ancien" && !ecrit_temporaire(h, gros, temporaire) &&
         !ajoute_entree({h, "erreurs.txt"}, gros) &&
         lit_octets("erreurs.txt").starts_with("ligne\r\n") &&
         noms(".") == std::vector<std::string>{"a.old", "a.txt", "erreurs.txt"};
}

TEST(EcritureEntree, UnDisquePleinNeLaisseAucunFichierTronque) {
  DossierTemporaire d;
  const std::string gros(5000, 'm');
  ecrit_octets(d.chemin() / "a.txt", gros);
  ecrit_octets(d.chemin() / "a.old", "ancien");
  ecrit_octets(d.chemin() / "erreurs.txt", "ligne\r\n");
  EXPECT_EXIT(std::_Exit(disque_plein_dans_le_transit(gros) ? 0 : 1), ::testing::ExitedWithCode(0),
              "");
}
#endif

// Only a real sub-folder is held (links, files, pipes refused at once); the transit may be a link.
// On Windows, what counts as a link among reparse points: only the tags that
// redirect a name. A cloud-synced or deduplicated transit folder must not be
// refused as a link, nor its files.
TEST(PointAnalyse, SeulsLesSubstitutsDeNomSontDesLiens) {
  using interne::redirige_nom;
  constexpr std::uint32_t point = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
  constexpr std::uint32_t dossier = 0x10;
  // Symbolic link, junction or mount point, WSL link: redirect.
  for (const std::uint32_t tag : {0xA000000Cu, 0xA0000003u, 0xA000001Du}) {
    EXPECT_TRUE(redirige_nom(point, tag)) << std::hex << tag;
    EXPECT_TRUE(redirige_nom(point | dossier, tag)) << std::hex << tag;
    // The tag means nothing without the attribute.
    EXPECT_FALSE(redirige_nom(dossier, tag)) << std::hex << tag;
  }
  // Cloud files (plain and with a sub-tag), deduplication, app alias, HSM,
  // container layers: the entry is what it is.
  for (const std::uint32_t tag :
       {0x9000001Au, 0x9000601Au, 0x80000013u, 0x8000001Bu, 0xC0000004u, 0x80000018u, 0u}) {
    EXPECT_FALSE(redirige_nom(point, tag)) << std::hex << tag;
    EXPECT_FALSE(redirige_nom(point | dossier, tag)) << std::hex << tag;
  }
}

TEST(DossierTenu, SeulUnVraiSousDossierEstTenu) {
  DossierTemporaire d;
  fs::create_directories(d.chemin() / "vrai" / "import");
  ecrit_octets(d.chemin() / "vrai" / "fichier", "x");
  std::vector<std::string> refuses{"fichier", ".."};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((d.chemin() / "vrai" / "tube").c_str(), 0600), 0);
  refuses.push_back("tube");
#endif
  // Where links can be made, the transit folder is one (to "vrai").
  std::error_code erreur;
  fs::create_directory_symlink(d.chemin() / "vrai", d.chemin() / "transit", erreur);
  const bool liens = !erreur;
  if (liens) {
    fs::create_directory_symlink(d.chemin() / "vrai" / "import", d.chemin() / "vrai" / "lien");
    refuses.push_back("lien");
  }
  const std::string racine = liens ? "transit" : "vrai";
  DossierTenu transit;
  ASSERT_EQ(ouvre_dossier(racine, transit), OuvertureDossier::ouvert);
  EXPECT_EQ(transit.chemin(), racine + "\\");
  DossierTenu sous;
  EXPECT_EQ(ouvre_sous_dossier(transit, "import", sous), OuvertureDossier::ouvert);
  EXPECT_EQ(sous.chemin(), racine + "\\import\\");
  DossierTenu autre;
  for (const std::string& nom : refuses) {
    EXPECT_EQ(ouvre_sous_dossier(transit, nom, autre), OuvertureDossier::refuse) << nom;
    EXPECT_FALSE(autre.ouvert()) << nom;
  }
  EXPECT_EQ(ouvre_sous_dossier(transit, "absent", autre), OuvertureDossier::absent);
  EXPECT_EQ(ouvre_dossier_sans_lien(racine + "\\fichier", autre), OuvertureDossier::refuse);
  EXPECT_EQ(ouvre_dossier_sans_lien(racine + "\\import\\", autre), OuvertureDossier::ouvert);
  if (liens) {
    EXPECT_EQ(ouvre_dossier_sans_lien("transit\\lien", autre), OuvertureDossier::refuse);
  }
#ifdef _WIN32
  // Held, the folder cannot be swapped: renaming it is refused.
  fs::rename(d.chemin() / "vrai" / "import", d.chemin() / "vrai" / "ancien", erreur);
  EXPECT_TRUE(erreur);
  EXPECT_TRUE(fs::is_directory(d.chemin() / "vrai" / "import"));
#endif
}

#ifndef _WIN32
// A held folder swapped for a link: every operation stays in the folder held.
TEST(DossierTenu, UnDossierRemplaceParUnLienNEstPasSuivi) {
  DossierTemporaire d;
  fs::create_directories(d.chemin() / "transit" / "import");
  fs::create_directories(d.chemin() / "dehors");
  ecrit_octets(d.chemin() / "transit" / "import" / "a.txt", "du serveur");
  ecrit_octets(d.chemin() / "dehors" / "a.txt", "secret");
  ecrit_octets(d.chemin() / "dehors" / "b.txt", "secret");
  ecrit_octets(d.chemin() / "dehors" / "a.old", "notes");
  DossierTenu transit, import;
  ASSERT_EQ(ouvre_dossier("transit", transit), OuvertureDossier::ouvert);
  ASSERT_EQ(ouvre_sous_dossier(transit, "import", import), OuvertureDossier::ouvert);
  fs::rename(d.chemin() / "transit" / "import", d.chemin() / "transit" / "ancien");
  fs::create_directory_symlink(d.chemin() / "dehors", d.chemin() / "transit" / "import");
  std::vector<std::string> listes;
  ASSERT_TRUE(liste_entrees(import, "*.txt", listes));
  EXPECT_EQ(listes, (std::vector<std::string>{"a.txt"}));
  Refus refus = Refus::aucun;
  EXPECT_TRUE(copie_entree({import, "a.txt"}, {{import, "a.old"}}, taille_max_recu, refus));
  EXPECT_TRUE(ajoute_entree({import, "erreurs.err"}, "ligne\r\n"));
  EXPECT_EQ(taille_entree({import, "erreurs.err"}), 7);
  std::string lu;
  EXPECT_TRUE(lit_entree({import, "a.old"}, 3, 100, lu));
  EXPECT_EQ(lu, "serveur");
  EXPECT_TRUE(supprime_entree({import, "a.txt"}));
  EXPECT_EQ(noms(d.chemin() / "dehors"), (std::vector<std::string>{"a.old", "a.txt", "b.txt"}));
  EXPECT_EQ(lit_octets(d.chemin() / "dehors" / "a.old"), "notes");
  EXPECT_EQ(lit_octets(d.chemin() / "dehors" / "a.txt"), "secret");
  EXPECT_EQ(noms(d.chemin() / "transit" / "ancien"),
            (std::vector<std::string>{"a.old", "erreurs.err"}));
  EXPECT_EQ(lit_octets(d.chemin() / "transit" / "ancien" / "a.old"), "du serveur");
}
#endif

}  // namespace
}  // namespace pontex::test

// Windows-1252 paths on a case-sensitive disk; record files shared with the till.
// Bytes as octal escapes: a hex escape would swallow the letters after it.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "pontex/shared/fichier_records.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/liste_fichiers.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex {
namespace {

namespace fs = std::filesystem;
using test::ajoute_texte;
using test::DossierTemporaire;
using test::ecrit_octets;
using test::lit_octets;
using Noms = std::vector<std::string>;

// A path written in UTF-8 (this file's own encoding), on every system.
fs::path p8(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// Names on disk as the file system holds them, in UTF-8, sorted by bytes.
Noms noms_disque(const fs::path& dossier) {
  Noms noms;
  for (const auto& e : fs::directory_iterator(dossier)) {
    const std::u8string u = e.path().filename().u8string();
    noms.emplace_back(u.begin(), u.end());
  }
  std::sort(noms.begin(), noms.end());
  return noms;
}

Noms liste(std::string_view dossier, std::string_view motif) {
  Noms noms;
  EXPECT_TRUE(liste_fichiers(dossier, motif, noms)) << dossier;
  return noms;
}

// A hidden file ("." on Linux, the attribute on Windows); returns its name on disk.
std::string cree_cache(const std::string& nom, const fs::path& dossier = ".") {
#ifdef _WIN32
  ecrit_octets(dossier / nom, "x");
  ::SetFileAttributesW((dossier / nom).c_str(), FILE_ATTRIBUTE_HIDDEN);
  return nom;
#else
  ecrit_octets(dossier / ("." + nom), "x");
  return "." + nom;
#endif
}

// Each test in a fresh temporary folder, entered as the current directory.
class DansUnDossier : public ::testing::Test {
 protected:
  DossierTemporaire d;
};
using Chemins = DansUnDossier;
using NomsWindows1252 = DansUnDossier;
using Liste = DansUnDossier;
using Copie = DansUnDossier;
using Suppression = DansUnDossier;
using Dossiers = DansUnDossier;
using Textes = DansUnDossier;

// --- Names matched ignoring case --------------------------------------------

TEST_F(Chemins, UnNomEcritAutrementEnCasseDesigneLeFichierExistant) {
  // A register copied from the workstation, names in another case, in a
  // folder whose own name has an accent.
  ecrit_octets(p8("Caisse/Données/w_cairec.wdo"), "ancien");
  const fs::path disque = p8("Caisse/Données");
  const std::string dossier = d.valeur_dossier() + "CAISSE\\DONN\311ES\\";
  EXPECT_TRUE(existe_fichier(dossier + "W_CAIREC.WDO"));
  EXPECT_TRUE(ajoute_texte(dossier + "W_CAIREC.WDO", "+suite"));
  EXPECT_TRUE(ecrit_texte(dossier + "W_Cairec.Wdo", "remplace"));
  EXPECT_EQ(lit_octets(disque / "w_cairec.wdo"), "remplace");
  EXPECT_EQ(noms_disque(disque), Noms{"w_cairec.wdo"});
  EXPECT_EQ(noms_disque("."), Noms{"Caisse"});
#ifndef _WIN32
  EXPECT_EQ(chemin_natif(dossier + "W_CAIREC.WDO"),
            d.chemin().string() + "/Caisse/Données/w_cairec.wdo");
#endif
  // Copy and rename onto a case variant replace the file, never add a twin.
  ecrit_octets("nouveau.txt", "copie");
  EXPECT_TRUE(copie_fichier("NOUVEAU.TXT", dossier + "W_CAIREC.WDO"));
  EXPECT_EQ(lit_octets(disque / "w_cairec.wdo"), "copie");
  EXPECT_TRUE(renomme_fichier("Nouveau.txt", dossier + "w_CAIREC.wdo"));
  EXPECT_EQ(noms_disque(disque).size(), 1u);
  EXPECT_FALSE(fs::exists("nouveau.txt"));
#ifndef _WIN32
  // Renamed to its own name in another case, the file takes that name (on
  // Windows the system does this itself).
  EXPECT_TRUE(renomme_fichier(dossier + "w_cairec.wdo", dossier + "W_CAIREC.WDO"));
  EXPECT_EQ(noms_disque(disque), Noms{"W_CAIREC.WDO"});
#endif
  // A folder asked for in another case already exists.
  EXPECT_FALSE(cree_dossier("caisse"));
  EXPECT_EQ(noms_disque("."), Noms{"Caisse"});
  EXPECT_TRUE(existe_dossier("CAISSE\\donn\351es"));
}

TEST_F(Chemins, LeNomExactPasseAvantUneVarianteDeCasse) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows folder cannot hold two names that differ only by case";
#endif
  ecrit_octets("stock.txt", "minuscules");
  ecrit_octets("STOCK.TXT", "majuscules");
  std::string contenu;
  ASSERT_TRUE(lit_texte("STOCK.TXT", contenu));
  EXPECT_EQ(contenu, "majuscules");
  ASSERT_TRUE(lit_texte("stock.txt", contenu));
  EXPECT_EQ(contenu, "minuscules");
  // Neither exact: the same one every time (list order: "STOCK" before "stock").
  ASSERT_TRUE(lit_texte("Stock.txt", contenu));
  EXPECT_EQ(contenu, "majuscules");
}

TEST_F(Chemins, SeparateursDoublesEtFinalsSansEffet) {
  fs::create_directories("transit/import");
  ecrit_octets("transit/import/a.txt", "x");
  const std::string transit = d.valeur_dossier() + "transit\\";
  EXPECT_TRUE(existe_fichier(transit + "\\import\\\\a.txt"));
  EXPECT_EQ(liste(transit + "import\\", "*.txt"), Noms{"a.txt"});
  EXPECT_EQ(liste("transit\\\\import", "*.txt"), Noms{"a.txt"});
  EXPECT_TRUE(ecrit_texte("transit\\\\import\\b.txt", "y"));
  EXPECT_EQ(lit_octets("transit/import/b.txt"), "y");
  // "" is the current directory, as for the program's own files.
  EXPECT_TRUE(existe_dossier(""));
  EXPECT_EQ(liste("", "*"), Noms{});
}

TEST_F(Chemins, UnOctetNulNeRaccourcitJamaisLeChemin) {
  ecrit_octets("a", "garde");
  const std::string chemin("a\0.txt", 6);
  EXPECT_FALSE(ecrit_texte(chemin, "perdu"));
  EXPECT_FALSE(supprime_fichier(chemin));
  EXPECT_FALSE(existe_fichier(chemin));
  EXPECT_EQ(lit_octets("a"), "garde");
  EXPECT_EQ(noms_disque("."), Noms{"a"});
}

// --- Windows-1252 names ------------------------------------------------------

TEST_F(NomsWindows1252, AllerRetourParLaCreationEtLaListe) {
  // "Données.txt", "Œuvre.txt" and a byte that Windows-1252 leaves undefined.
  ASSERT_TRUE(ecrit_texte("Donn\351es.txt", "1"));
  ASSERT_TRUE(ecrit_texte("\214uvre.txt", "2"));
  ASSERT_TRUE(ecrit_texte("z\201.txt", "3"));
  EXPECT_EQ(noms_disque("."), (Noms{"Données.txt", "z\302\201.txt", "Œuvre.txt"}));
  EXPECT_EQ(liste("", "*.txt"), (Noms{"Donn\351es.txt", "z\201.txt", "\214uvre.txt"}));
  // Accented letters match their other case: "É" in the pattern, "é" on disk.
  EXPECT_EQ(liste("", "DONN\311*"), Noms{"Donn\351es.txt"});
  EXPECT_EQ(liste("", "\234*"), Noms{"\214uvre.txt"});
  EXPECT_TRUE(supprime_fichier("\234UVRE.TXT"));
  EXPECT_FALSE(fs::exists(p8("Œuvre.txt")));
}

TEST_F(NomsWindows1252, UnNomSansFormeWindows1252NEstPasListe) {
  ecrit_octets(p8("日本.txt"), "x");
#ifndef _WIN32
  ecrit_octets(std::string("bad\377.txt"), "x");  // not even UTF-8
#endif
  ecrit_octets("ok.txt", "x");
  EXPECT_EQ(liste("", "*"), Noms{"ok.txt"});
}

// --- Patterns ---------------------------------------------------------------

TEST(Motifs, JokersDuPosteDeTravail) {
  struct Cas {
    const char* nom;
    const char* motif;
    bool attendu;
  };
  const Cas cas[] = {
      {"a.txt.txt", "*.txt", true},
      {"a.txt.old", "*.txt", false},
      {"a.txt1", "*.txt", false},
      {"X.TXT", "*.txt", true},
      {".txt", "*.txt", true},
      {"stock_20240102.txt", "stock_*.txt", true},
      {"STOCK_.TXT", "stock_*.txt", true},
      {"abc", "a?c", true},
      {"ac", "a?c", false},
      {"a[1].txt", "a[1].txt", true},  // '[' is an ordinary character
      {"a1.txt", "a[1].txt", false},
      {"pontex.DESKTOP", "Pontex.desktop", true},
      {"Pontex.desktop.bak", "Pontex.desktop", false},
      {"sans_point", "*.*", true},
      {"", "*", true},
      {"a", "", false},
      {"\311t\351.txt", "\351T\311*", true},  // "Été.txt" against "éTÉ*"
      {"\377", "\237", true},                 // ÿ / Ÿ
      {"\327", "\367", false},                // × and ÷ are not letters
  };
  for (const Cas& c : cas)
    EXPECT_EQ(correspond_motif(c.nom, c.motif), c.attendu) << c.nom << " / " << c.motif;
}

TEST(Motifs, BeaucoupDEtoilesSurUnLongNomTermineVite) {
  const std::string nom(20000, 'a');
  const std::string motif = "*a*a*a*a*a*a*a*a*a*a*a*a*b";
  const auto debut = std::chrono::steady_clock::now();
  EXPECT_FALSE(correspond_motif(nom, motif));
  EXPECT_TRUE(correspond_motif(nom + "b", motif));
  EXPECT_LT(std::chrono::steady_clock::now() - debut, std::chrono::seconds(2));
}

// --- Listing ----------------------------------------------------------------

TEST_F(Liste, FichiersVisiblesSeulementTriesSansCasse) {
  for (const char* n : {"b.txt", "A.txt", "a.TXT.old", "_x.txt", "C.txt"}) ecrit_octets(n, "x");
  cree_cache("cache.txt");
  fs::create_directory("dossier.txt");
#ifdef _WIN32
  ecrit_octets("systeme.txt", "x");
  ::SetFileAttributesW(L"systeme.txt", FILE_ATTRIBUTE_SYSTEM);
  const Noms attendus{"_x.txt", "A.txt", "b.txt", "C.txt"};
#else
  // Links: to a file it is one, to a folder or to nothing it is not.
  ecrit_octets("a.txt", "x");
  fs::create_symlink("b.txt", "lien.txt");
  fs::create_symlink("absent", "casse.txt");
  fs::create_directory_symlink("dossier.txt", "lien_dossier.txt");
  const Noms attendus{"_x.txt", "A.txt", "a.txt", "b.txt", "C.txt", "lien.txt"};
#endif
  // Hidden and system files and folders are not files the program can take.
  EXPECT_EQ(liste("", "*.txt"), attendus);
  EXPECT_EQ(liste("", "a*").back(), "a.TXT.old");
}

TEST_F(Liste, ExistenceParNomOuParMotif) {
  fs::create_directories("Startup/sous");
  ecrit_octets("Startup/Pontex.desktop", "x");
  const std::string cache = cree_cache("cache", "Startup");
  const std::string s = d.valeur_dossier() + "Startup\\";
  for (const char* n : {"Pontex.desktop", "PONTEX.DESKTOP", "Pont*", "P?ntex.desktop"})
    EXPECT_TRUE(existe_fichier(s + n)) << n;
  // Hidden, a folder, no name, a missing folder.
  for (const std::string& n : {std::string("Autre*"), cache, std::string("*cache"),
                               std::string("sous"), std::string(), std::string("..\\absent\\P*")})
    EXPECT_FALSE(existe_fichier(s + n)) << n;
  EXPECT_TRUE(existe_dossier(s + "SOUS"));
  EXPECT_FALSE(existe_dossier(s + "Pontex.desktop"));
}

TEST_F(Liste, UnDossierAbsentResteVide) {
  fs::create_directories("transit/import");
  ecrit_octets("transit/import/b.txt", "x");
  ecrit_octets("transit/import/A.TXT", "x");
  ecrit_octets("transit/import/a.old", "x");
  ListeFichiers file1("*.txt");
  ASSERT_TRUE(file1.met_dossier("transit\\import"));
  EXPECT_EQ(file1.noms(), (Noms{"A.TXT", "b.txt"}));
  // A missing folder: nothing listed, before and after a refresh (never
  // the current directory's files).
  ecrit_octets("c.txt", "x");
  ListeFichiers absent("*.txt");
  EXPECT_FALSE(absent.met_dossier("transit\\absent"));
  EXPECT_TRUE(absent.noms().empty());
  absent.rafraichit();
  EXPECT_TRUE(absent.noms().empty());
  Noms noms{"reste d'avant"};
  EXPECT_FALSE(liste_fichiers("transit\\absent\\", "*", noms));
  EXPECT_TRUE(noms.empty());
  EXPECT_FALSE(liste_fichiers("c.txt", "*", noms));
  fs::remove("transit/import/A.TXT");
  file1.rafraichit();
  EXPECT_EQ(file1.noms(), Noms{"b.txt"});
  fs::remove_all("transit/import");
  file1.rafraichit();
  EXPECT_TRUE(file1.noms().empty());
}

// --- Copy, delete, folders ------------------------------------------

TEST_F(Copie, RemplaceToutLeContenuDeLaDestination) {
  ecrit_octets("import/a.txt", "court");
  ecrit_octets("import/a.old", "un contenu bien plus long d'un autre jour");
  ASSERT_TRUE(copie_fichier("import\\a.txt", "import\\a.old"));
  EXPECT_EQ(lit_octets("import/a.old"), "court");
  EXPECT_EQ(lit_octets("import/a.txt"), "court");
  std::string gros(200000, '\0');
  for (std::size_t i = 0; i < gros.size(); ++i) gros[i] = static_cast<char>(i * 7);
  ecrit_octets("gros.bin", gros);
  ASSERT_TRUE(copie_fichier("gros.bin", "prov_stk_ana_ron.txt"));
  EXPECT_EQ(lit_octets("prov_stk_ana_ron.txt"), gros);
}

TEST_F(Copie, SourceAbsenteOuIdentiqueNeTouchePasLaDestination) {
  ecrit_octets("export/histo/stock_1.txt", "archive");
  EXPECT_FALSE(copie_fichier("export\\stock_1.txt", "export\\histo\\stock_1.txt"));
  EXPECT_EQ(lit_octets("export/histo/stock_1.txt"), "archive");
  EXPECT_FALSE(copie_fichier("absent.txt", "nouveau.txt"));
  EXPECT_FALSE(fs::exists("nouveau.txt"));
  // The same file under another case: copying would empty it.
  EXPECT_FALSE(copie_fichier("export\\histo\\stock_1.txt", "EXPORT\\HISTO\\STOCK_1.TXT"));
  EXPECT_EQ(lit_octets("export/histo/stock_1.txt"), "archive");
  // A folder is not a file to copy, nor to copy onto.
  EXPECT_FALSE(copie_fichier("export", "copie"));
  EXPECT_FALSE(copie_fichier("export\\histo\\stock_1.txt", "export"));
  EXPECT_FALSE(copie_fichier("export\\histo\\stock_1.txt", "absent\\x.txt"));
}

#ifndef _WIN32
// A full disk (a file size limit in a child process) leaves no truncated copy or text behind.
bool disque_plein_sans_fichier_tronque(const std::string& mouvements) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limite;
  limite.rlim_cur = limite.rlim_max = 1000;
  if (::setrlimit(RLIMIT_FSIZE, &limite) != 0) return false;
  return !copie_fichier("import\\a.txt", "prov_stk_ana_ron.txt") &&
         !fs::exists("prov_stk_ana_ron.txt") && !ecrit_texte("export.txt", mouvements) &&
         !fs::exists("export.txt");
}

TEST_F(Copie, UnDisquePleinNeLaissePasDeFichierTronque) {
  const std::string mouvements(5000, 'm');
  ecrit_octets("import/a.txt", mouvements);
  EXPECT_EXIT(std::_Exit(disque_plein_sans_fichier_tronque(mouvements) ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(lit_octets("import/a.txt"), mouvements);
}
#endif

TEST_F(Suppression, ParMotifDansLeSeulDossierNomme) {
  for (const char* n : {"a.txt", "B.TXT", "c.old", "sous/d.txt"}) ecrit_octets(n, "x");
  const std::string cache = cree_cache("cache.txt");
  fs::create_directory("dossier.txt");
  ASSERT_TRUE(supprime_motif(d.valeur_dossier() + "*.txt"));
  Noms restants{cache, "c.old", "dossier.txt", "sous"};
  std::sort(restants.begin(), restants.end());
  EXPECT_EQ(noms_disque("."), restants);
  EXPECT_TRUE(fs::exists("sous/d.txt"));
  // Nothing left to match: a failed step, nothing touched.
  EXPECT_FALSE(supprime_motif("*.txt"));
  // A name without wildcard is a pattern too, matched ignoring case.
  ASSERT_TRUE(supprime_motif("C.OLD"));
  EXPECT_FALSE(fs::exists("c.old"));
}

TEST_F(Suppression, UnMotifVideNeSupprimeRien) {
  ecrit_octets("Startup/Pontex.desktop", "x");
  ecrit_octets("Startup/autre", "x");
  // An entry name missing from the list file: the path ends with the
  // separator. It must never mean "everything in the Startup folder".
  EXPECT_FALSE(supprime_motif(d.valeur_dossier() + "Startup\\"));
  EXPECT_FALSE(supprime_motif("Startup/"));
  EXPECT_FALSE(supprime_motif(""));
  EXPECT_EQ(noms_disque("Startup"), (Noms{"Pontex.desktop", "autre"}));
}

TEST_F(Dossiers, UnSeulNiveauEtEchecSIlExiste) {
  const std::string t = d.valeur_dossier() + "transit\\";
  EXPECT_FALSE(cree_dossier(t + "import"));  // parent missing
  EXPECT_FALSE(fs::exists("transit"));
  ASSERT_TRUE(cree_dossier(t));
  ASSERT_TRUE(cree_dossier(t + "import"));
  ASSERT_TRUE(cree_dossier(t + "import\\histo\\"));
  EXPECT_FALSE(cree_dossier(t + "IMPORT"));
  EXPECT_TRUE(fs::is_directory("transit/import/histo"));
  ecrit_octets("fichier", "");
  EXPECT_FALSE(cree_dossier("fichier"));
}

// --- Text files ---------------------------------------------------------------

TEST_F(Textes, OctetsTelsQuels) {
  const std::string octets("ligne 1\r\nDonn\351es\r\n\0\377\n", 21);
  ASSERT_TRUE(ecrit_texte("t.txt", octets));
  EXPECT_EQ(lit_octets("t.txt"), octets);
  std::string lu;
  ASSERT_TRUE(lit_texte("T.TXT", lu));
  EXPECT_EQ(lu, octets);
  ASSERT_TRUE(ecrit_texte("t.txt", "court"));
  EXPECT_EQ(lit_octets("t.txt"), "court");
  lu = "reste";
  EXPECT_FALSE(lit_texte("absent.txt", lu));
  EXPECT_TRUE(lu.empty());
  fs::create_directory("dossier");
  EXPECT_FALSE(lit_texte("dossier", lu));
  EXPECT_FALSE(ecrit_texte("absent\\t.txt", "x"));
}

#ifndef _WIN32
// A named pipe where a file is expected: every operation fails at once, never waits.
TEST_F(Textes, UnTubeNommeNeFaitJamaisAttendre) {
  ASSERT_EQ(::mkfifo("Pontex.wdo", 0644), 0);
  ecrit_octets("a.txt", "x");
  std::string lu;
  EXPECT_FALSE(lit_texte("Pontex.wdo", lu));
  EXPECT_FALSE(ecrit_texte("Pontex.wdo", "x"));
  EXPECT_FALSE(copie_fichier("Pontex.wdo", "b.txt"));
  EXPECT_FALSE(copie_fichier("a.txt", "Pontex.wdo"));
  EXPECT_FALSE(existe_fichier("Pontex.wdo"));
  EXPECT_EQ(liste("", "*"), Noms{"a.txt"});
}
#else
// A device name where a file is expected ("NUL" swallows every write): a
// text or a copy sent there is a failure, never a success that wrote nothing.
TEST_F(Textes, UnPeripheriqueNEstPasUnFichier) {
  ecrit_octets("a.txt", "x");
  std::string lu;
  EXPECT_FALSE(lit_texte("NUL", lu));
  EXPECT_FALSE(ecrit_texte("NUL", "x"));
  EXPECT_FALSE(copie_fichier("a.txt", "NUL"));
  EXPECT_FALSE(copie_fichier("NUL", "b.txt"));
  EXPECT_FALSE(fs::exists("b.txt"));
}
#endif

// --- Record files shared with the till: whole records, nothing cached, no far write.

constexpr std::size_t L = 24;  // an index entry

// A record whose bytes all carry its number, so a shifted offset shows.
std::string record(char n, std::size_t longueur = L) { return std::string(longueur, n); }

std::string lit_records(const FichierRecords& f, std::int64_t premier, std::size_t nombre,
                        std::size_t& lus) {
  std::string tampon(nombre * f.longueur_record(), '?');
  EXPECT_TRUE(f.lit(premier, tampon.data(), nombre, lus));
  return tampon;
}

TEST(FichierRecords, EnregistrementsEntiersAuBonDecalage) {
  DossierTemporaire d;
  ecrit_octets("W_caiind.WDO", record('1') + record('2') + record('3') + record('4'));
  FichierRecords f;
  ASSERT_TRUE(f.ouvre("W_caiind.WDO", L));
  EXPECT_EQ(f.nombre_records(), 4);
  std::size_t lus = 0;
  EXPECT_EQ(lit_records(f, 3, 1, lus), record('3'));
  EXPECT_EQ(lus, 1u);
  // Consecutive records in one call, as the tail scan reads them.
  EXPECT_EQ(lit_records(f, 2, 3, lus), record('2') + record('3') + record('4'));
  EXPECT_EQ(lus, 3u);
  // Past the end: only what exists.
  EXPECT_EQ(lit_records(f, 4, 3, lus).substr(0, L), record('4'));
  EXPECT_EQ(lus, 1u);
  lit_records(f, 5, 1, lus);
  EXPECT_EQ(lus, 0u);
  lit_records(f, 1000000, 2, lus);
  EXPECT_EQ(lus, 0u);
  ASSERT_TRUE(f.ecrit(2, std::string(L, 'B').data()));
  const std::string deux = record('C') + record('D');
  ASSERT_TRUE(f.ecrit(3, deux.data(), 2));
  EXPECT_EQ(lit_octets("W_caiind.WDO"), record('1') + record('B') + record('C') + record('D'));
  // Appending the next record right after the last one.
  ASSERT_TRUE(f.ecrit(5, record('E').data()));
  EXPECT_EQ(f.nombre_records(), 5);
  EXPECT_EQ(lit_octets("W_caiind.WDO").substr(4 * L), record('E'));
}

#ifndef _WIN32
// The register's files are reached by paths of any length, with the shop's
// accented folder names: each is opened, written and read at its own
// records, and a failure names the file as the program named it.
TEST(FichierRecords, CheminsDeToutesLongueursEtAccentues) {
  DossierTemporaire d;
  const std::string accent = "Caisse \xE9t\xE9";  // Windows-1252, as configured
  fs::create_directory(fs::path(std::string("Caisse \xC3\xA9t\xC3\xA9")));
  std::vector<std::string> chemins = {"W_CAIREC.WDO", accent + "\\W_CAIREC.WDO"};
  // Around the lengths kept in place and converted on the stack.
  for (std::size_t longueur : {255u, 256u, 257u, 510u, 511u, 512u, 700u}) {
    std::string dossier, chemin;
    int n = 0;
    do {
      dossier = "d" + std::to_string(n++) + std::string(60, 'x');
      fs::create_directories(fs::path(chemin.empty() ? "." : chemin) / dossier);
      chemin += (chemin.empty() ? "" : "/") + dossier;
    } while (chemin.size() + 1 + 12 < longueur);
    std::string nom(longueur - chemin.size() - 1, 'f');
    std::string windows = chemin + "/" + nom;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    chemins.push_back(windows);
  }
  for (const std::string& chemin : chemins) {
    SCOPED_TRACE(chemin.size());
    FichierRecords f;
    ASSERT_TRUE(f.ouvre(chemin, L, FichierRecords::Creation::si_absent));
    ASSERT_TRUE(f.ecrit(2, record('2').data()));
    std::size_t lus = 0;
    EXPECT_EQ(lit_records(f, 2, 1, lus), record('2'));
    f.ferme();
    ASSERT_TRUE(f.ouvre(chemin, L));
    EXPECT_EQ(f.nombre_records(), 2);
    std::string vu;
    {
      test::EchecInjecte echec([&](Operation o, std::string_view c) {
        vu = std::string(c);
        return o == Operation::lecture;
      });
      const Resultat r = f.lit(2, std::string(L, ' ').data(), 1, lus);
      EXPECT_FALSE(r);
      EXPECT_NE(r.raison().find(chemin), std::string::npos);
    }
    EXPECT_EQ(vu, chemin);
  }
  // A NUL byte inside a path never cuts it short onto another file.
  FichierRecords f;
  EXPECT_FALSE(f.ouvre(std::string("W_CAIREC.WDO\0.bak", 17), L));
  EXPECT_FALSE(f.ouvre(std::string("autre\0W", 8), L, FichierRecords::Creation::si_absent));
  EXPECT_FALSE(fs::exists("autre"));
  // The accented folder holds the file under its name on this system.
  EXPECT_TRUE(fs::exists(fs::path(std::string("Caisse \xC3\xA9t\xC3\xA9/W_CAIREC.WDO"))));
}
#endif

#ifndef _WIN32
// Opened with DateAcces::laissee, reads leave the access time as it was; writes still land.
TEST(FichierRecords, SansDateDAccesLaLectureNeLaChangePas) {
  DossierTemporaire d;
  ecrit_octets("a.wdo", record('1') + record('2'));
  // An access time older than the last change: the one relatime updates.
  struct timespec dates[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
  ASSERT_EQ(::utimensat(AT_FDCWD, "a.wdo", dates, 0), 0);
  FichierRecords f;
  ASSERT_TRUE(
      f.ouvre("a.wdo", L, FichierRecords::Creation::jamais, FichierRecords::DateAcces::laissee));
  ASSERT_TRUE(f.ecrit(2, record('3').data()));
  std::size_t lus = 0;
  EXPECT_EQ(lit_records(f, 1, 2, lus), record('1') + record('3'));
  struct stat st {};
  ASSERT_EQ(::stat("a.wdo", &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
}
#endif

TEST(FichierRecords, DeuxAccesVoientAussitotLEcritureDeLAutre) {
  DossierTemporaire d;
  ecrit_octets("w_caiar4.wdo", record('a', 256) + record('b', 256));
  FichierRecords pontex, caisse;
  ASSERT_TRUE(pontex.ouvre("w_caiar4.wdo", 256));
  ASSERT_TRUE(caisse.ouvre("W_CAIAR4.WDO", 256));  // same file, not a twin
  std::size_t lus = 0;
  EXPECT_EQ(lit_records(pontex, 2, 1, lus), record('b', 256));
  ASSERT_TRUE(caisse.ecrit(2, record('c', 256).data()));
  EXPECT_EQ(lit_records(pontex, 2, 1, lus), record('c', 256));
  ASSERT_TRUE(pontex.ecrit(3, record('d', 256).data()));
  EXPECT_EQ(caisse.nombre_records(), 3);
  EXPECT_EQ(lit_records(caisse, 3, 1, lus), record('d', 256));
  // A program that rewrites the file by other means is seen at the next read.
  ecrit_octets("w_caiar4.wdo", record('x', 256));
  EXPECT_EQ(pontex.nombre_records(), 1);
  EXPECT_EQ(lit_records(pontex, 1, 1, lus), record('x', 256));
  lit_records(pontex, 2, 1, lus);
  EXPECT_EQ(lus, 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST(FichierRecords, EcritureLoinApresLaFinRefusee) {
  DossierTemporaire d;
  constexpr std::size_t M = 64;  // a movement record
  ecrit_octets("W_CAIREC.WDO", record('h', M));
  FichierRecords f;
  ASSERT_TRUE(f.ouvre("W_CAIREC.WDO", M));
  const std::int64_t fin = static_cast<std::int64_t>(M);
  const std::int64_t limite = 1 + (fin + FichierRecords::ecart_max_octets) / M;
  // A read far past the end reads nothing and proves nothing: a write there is still refused.
  std::size_t rien = 7;
  std::string loin(M, ' ');
  ASSERT_TRUE(f.lit(limite + 1000, loin.data(), 1, rien));
  EXPECT_EQ(rien, 0u);
  EXPECT_EQ(f.nombre_records_vus(), 1);
  // A damaged header count (2 billion movements) must not grow the file.
  EXPECT_FALSE(f.ecrit(2000000001, record('m', M).data()));
  EXPECT_FALSE(f.ecrit(limite + 1, record('m', M).data()));
  EXPECT_EQ(fs::file_size("W_CAIREC.WDO"), M);
  EXPECT_FALSE(f.ecrit(std::numeric_limits<std::int64_t>::max(), record('m', M).data()));
  EXPECT_FALSE(f.ecrit(0, record('m', M).data()));
  EXPECT_FALSE(f.ecrit(-5, record('m', M).data()));
  EXPECT_EQ(lit_octets("W_CAIREC.WDO"), record('h', M));
  // Up to the limit, a gap is allowed (the cash register may pre-size).
  ASSERT_TRUE(f.ecrit(limite, record('m', M).data()));
  EXPECT_EQ(f.nombre_records(), limite);
  std::size_t lus = 7;
  std::string tampon(M, ' ');
  EXPECT_FALSE(f.lit(0, tampon.data(), 1, lus));
  EXPECT_EQ(lus, 0u);
  EXPECT_FALSE(f.lit(std::numeric_limits<std::int64_t>::max(), tampon.data(), 1, lus));
}

TEST(FichierRecords, OuvertureRefuseeOuImpossible) {
  DossierTemporaire d;
  fs::create_directory("dossier");
  FichierRecords f;
  EXPECT_FALSE(f.ouvre("dossier", L));
#ifndef _WIN32
  ASSERT_EQ(::mkfifo("tube", 0644), 0);
  EXPECT_FALSE(f.ouvre("tube", L));  // at once, not waiting for a writer
#endif
  EXPECT_FALSE(f.est_ouvert());
  EXPECT_FALSE(f.ouvre("absent\\a.wdo", L));
  EXPECT_FALSE(f.ouvre("a.wdo", 0));
  EXPECT_FALSE(fs::exists("a.wdo"));
  std::size_t lus = 0;
  char tampon[L];
  EXPECT_FALSE(f.lit(1, tampon, 1, lus));
  EXPECT_FALSE(f.ecrit(1, tampon));
  EXPECT_EQ(f.nombre_records(), 0);
}

// A read-only register is still read; a write is a failed step, not a lost one.
bool lecture_seule_lue_mais_pas_ecrite() {
  FichierRecords f;
  std::string tampon(256, ' ');
  std::size_t lus = 0;
  return f.ouvre("w_caiar4.wdo", 256) && f.lit(1, tampon.data(), 1, lus) && lus == 1 &&
         tampon == record('a', 256) && !f.ecrit(1, record('b', 256).data());
}

TEST(FichierRecords, FichierEnLectureSeuleLuMaisPasEcrit) {
  DossierTemporaire d;
  ecrit_octets("w_caiar4.wdo", record('a', 256));
  fs::permissions("w_caiar4.wdo",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#ifndef _WIN32
  if (::geteuid() == 0) {
    // Root writes any file: check as an ordinary user, in a child process.
    EXPECT_EXIT(
        {
          if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(2);
          std::_Exit(lecture_seule_lue_mais_pas_ecrite() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  } else {
    EXPECT_TRUE(lecture_seule_lue_mais_pas_ecrite());
  }
#else
  // Wine keeps the read-only mark as Unix permissions, which its root user
  // ignores; Windows itself refuses the write.
  const bool wine = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version");
  if (wine) {
    fs::permissions("w_caiar4.wdo", fs::perms::owner_all);
    GTEST_SKIP() << "under Wine a read-only file can be written; the check needs Windows";
  }
  EXPECT_TRUE(lecture_seule_lue_mais_pas_ecrite());
#endif
  EXPECT_EQ(lit_octets("w_caiar4.wdo"), record('a', 256));
  // Windows refuses to delete a read-only file: give the folder back clean.
  fs::permissions("w_caiar4.wdo", fs::perms::owner_all);
}

}  // namespace
}  // namespace pontex

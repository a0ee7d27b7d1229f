// File operations with Windows-style Windows-1252 paths: on Linux a
// case-sensitive UTF-8 file system, on Windows the system's own rules. The
// cash-register folder copied from a workstation, the transit folder shared
// with the server, the Startup folder.
//
// Windows-1252 bytes are written as octal escapes ("Donn\351es" is
// "Données"): a hex escape would swallow the letters after it.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pontex/shared/fichiers.h"
#include "pontex/shared/liste_fichiers.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex {
namespace {

namespace fs = std::filesystem;
using test::DossierTemporaire;
using test::EchecInjecte;
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

// A file that the system hides from file lists: a leading "." on Linux, the
// hidden attribute on Windows. Returns its name on disk.
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

// --- Names matched ignoring case --------------------------------------------

TEST(Chemins, UnNomEcritAutrementEnCasseDesigneLeFichierExistant) {
  DossierTemporaire d;
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

  // A folder asked for in another case already exists.
  EXPECT_FALSE(cree_dossier("caisse"));
  EXPECT_EQ(noms_disque("."), Noms{"Caisse"});
  EXPECT_TRUE(existe_dossier("CAISSE\\donn\351es"));
}

TEST(Chemins, LeNomExactPasseAvantUneVarianteDeCasse) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows folder cannot hold two names that differ only by case";
#endif
  DossierTemporaire d;
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

TEST(Chemins, SeparateursDoublesEtFinalsSansEffet) {
  DossierTemporaire d;
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

TEST(Chemins, UnOctetNulNeRaccourcitJamaisLeChemin) {
  DossierTemporaire d;
  ecrit_octets("a", "garde");
  const std::string chemin("a\0.txt", 6);
  EXPECT_FALSE(ecrit_texte(chemin, "perdu"));
  EXPECT_FALSE(supprime_fichier(chemin));
  EXPECT_FALSE(existe_fichier(chemin));
  EXPECT_EQ(lit_octets("a"), "garde");
  EXPECT_EQ(noms_disque("."), Noms{"a"});
}

// --- Windows-1252 names ------------------------------------------------------

TEST(NomsWindows1252, AllerRetourParLaCreationEtLaListe) {
  DossierTemporaire d;
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

TEST(NomsWindows1252, UnNomSansFormeWindows1252NEstPasListe) {
  DossierTemporaire d;
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

TEST(Liste, FichiersVisiblesSeulementTriesSansCasse) {
  DossierTemporaire d;
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

TEST(Liste, DossierAbsentEchoueEtNeDonneAucunNom) {
  DossierTemporaire d;
  Noms noms{"reste d'avant"};
  EXPECT_FALSE(liste_fichiers("absent\\", "*", noms));
  EXPECT_TRUE(noms.empty());
  ecrit_octets("fichier", "x");
  EXPECT_FALSE(liste_fichiers("fichier", "*", noms));
}

TEST(Liste, ExistenceParNomOuParMotif) {
  DossierTemporaire d;
  fs::create_directories("Startup/sous");
  ecrit_octets("Startup/Pontex.desktop", "x");
  const std::string cache = cree_cache("cache", "Startup");
  const std::string s = d.valeur_dossier() + "Startup\\";
  EXPECT_TRUE(existe_fichier(s + "Pontex.desktop"));
  EXPECT_TRUE(existe_fichier(s + "PONTEX.DESKTOP"));
  EXPECT_TRUE(existe_fichier(s + "Pont*"));
  EXPECT_TRUE(existe_fichier(s + "P?ntex.desktop"));
  EXPECT_FALSE(existe_fichier(s + "Autre*"));
  EXPECT_FALSE(existe_fichier(s + cache));  // hidden
  EXPECT_FALSE(existe_fichier(s + "*cache"));
  EXPECT_FALSE(existe_fichier(s + "sous"));  // a folder
  EXPECT_FALSE(existe_fichier(s));           // no name
  EXPECT_TRUE(existe_dossier(s + "SOUS"));
  EXPECT_FALSE(existe_dossier(s + "Pontex.desktop"));
  EXPECT_FALSE(existe_fichier(d.valeur_dossier() + "absent\\Pontex*"));
}

TEST(Liste, ListeFichiersGardeSonDossierQuandLeNouveauManque) {
  DossierTemporaire d;
  fs::create_directories("transit/import");
  ecrit_octets("transit/import/b.txt", "x");
  ecrit_octets("transit/import/A.TXT", "x");
  ecrit_octets("transit/import/a.old", "x");
  ListeFichiers file1("*.txt");
  ASSERT_TRUE(file1.met_dossier("transit\\import"));
  EXPECT_EQ(file1.noms(), (Noms{"A.TXT", "b.txt"}));

  EXPECT_FALSE(file1.met_dossier("transit\\absent"));
  EXPECT_EQ(file1.dossier(), "transit\\import");
  EXPECT_EQ(file1.noms(), (Noms{"A.TXT", "b.txt"}));

  fs::remove("transit/import/A.TXT");
  file1.rafraichit();
  EXPECT_EQ(file1.noms(), Noms{"b.txt"});
  fs::remove_all("transit/import");
  file1.rafraichit();
  EXPECT_TRUE(file1.noms().empty());
}

// --- Copy, rename, delete, folders ------------------------------------------

TEST(Copie, RemplaceToutLeContenuDeLaDestination) {
  DossierTemporaire d;
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

TEST(Copie, SourceAbsenteOuIdentiqueNeTouchePasLaDestination) {
  DossierTemporaire d;
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
// The disk fills up half-way: no truncated copy or text is left behind to
// be applied or collected as a whole one. The full disk is a file size limit
// set in a child process, so the test runner keeps its own.
bool disque_plein_sans_fichier_tronque(const std::string& mouvements) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limite;
  limite.rlim_cur = limite.rlim_max = 1000;
  if (::setrlimit(RLIMIT_FSIZE, &limite) != 0) return false;
  return !copie_fichier("import\\a.txt", "prov_stk_ana_ron.txt") &&
         !fs::exists("prov_stk_ana_ron.txt") && !ecrit_texte("export.txt", mouvements) &&
         !fs::exists("export.txt") && !ajoute_texte("journal.err", mouvements) &&
         fs::exists("journal.err");
}

TEST(Copie, UnDisquePleinNeLaissePasDeFichierTronque) {
  DossierTemporaire d;
  const std::string mouvements(5000, 'm');
  ecrit_octets("import/a.txt", mouvements);
  ecrit_octets("journal.err", "ligne\r\n");
  EXPECT_EXIT(std::_Exit(disque_plein_sans_fichier_tronque(mouvements) ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(lit_octets("import/a.txt"), mouvements);
}
#endif

TEST(Renommage, RemplaceLaDestinationEtChangeLaCasse) {
  DossierTemporaire d;
  ecrit_octets("a.tmp", "nouveau");
  ecrit_octets("a.txt", "ancien");
  ASSERT_TRUE(renomme_fichier("a.tmp", "a.txt"));
  EXPECT_EQ(noms_disque("."), Noms{"a.txt"});
  EXPECT_EQ(lit_octets("a.txt"), "nouveau");
#ifndef _WIN32
  // A new name in another case is the same file: its name changes. (On
  // Windows the system does this itself.)
  ASSERT_TRUE(renomme_fichier("a.txt", "A.TXT"));
  EXPECT_EQ(noms_disque("."), Noms{"A.TXT"});
#endif
  EXPECT_FALSE(renomme_fichier("absent", "b"));
}

TEST(Suppression, ParMotifDansLeSeulDossierNomme) {
  DossierTemporaire d;
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

TEST(Suppression, UnMotifVideNeSupprimeRien) {
  DossierTemporaire d;
  ecrit_octets("Startup/Pontex.desktop", "x");
  ecrit_octets("Startup/autre", "x");
  // An entry name missing from the list file: the path ends with the
  // separator. It must never mean "everything in the Startup folder".
  EXPECT_FALSE(supprime_motif(d.valeur_dossier() + "Startup\\"));
  EXPECT_FALSE(supprime_motif("Startup/"));
  EXPECT_FALSE(supprime_motif(""));
  EXPECT_EQ(noms_disque("Startup"), (Noms{"Pontex.desktop", "autre"}));
}

TEST(Dossiers, UnSeulNiveauEtEchecSIlExiste) {
  DossierTemporaire d;
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

TEST(Textes, OctetsTelsQuels) {
  DossierTemporaire d;
  const std::string octets("ligne 1\r\nDonn\351es\r\n\0\377\n", 21);
  ASSERT_TRUE(ecrit_texte("t.txt", octets));
  EXPECT_EQ(lit_octets("t.txt"), octets);
  std::string lu;
  ASSERT_TRUE(lit_texte("T.TXT", lu));
  EXPECT_EQ(lu, octets);

  ASSERT_TRUE(ecrit_texte("t.txt", "court"));
  EXPECT_EQ(lit_octets("t.txt"), "court");
  ASSERT_TRUE(ajoute_texte("t.txt", "+1\r\n"));
  ASSERT_TRUE(ajoute_texte("erreurs.err", "A\r\n"));
  ASSERT_TRUE(ajoute_texte("erreurs.err", "B\r\n"));
  EXPECT_EQ(lit_octets("t.txt"), "court+1\r\n");
  EXPECT_EQ(lit_octets("erreurs.err"), "A\r\nB\r\n");

  lu = "reste";
  EXPECT_FALSE(lit_texte("absent.txt", lu));
  EXPECT_TRUE(lu.empty());
  fs::create_directory("dossier");
  EXPECT_FALSE(lit_texte("dossier", lu));
  EXPECT_FALSE(ecrit_texte("absent\\t.txt", "x"));
}

TEST(Textes, DateDeModification) {
  DossierTemporaire d;
  EXPECT_FALSE(date_modification("a.txt"));
  ecrit_octets("a.txt", "x");
  fs::last_write_time("a.txt", fs::file_time_type::clock::now() - std::chrono::hours(48));
  auto date = date_modification("A.TXT");
  ASSERT_TRUE(date);
  const auto maintenant = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  EXPECT_NEAR(static_cast<double>(maintenant - *date), 48.0 * 3600, 60);
}

#ifndef _WIN32
// Someone leaves a named pipe where a file is expected: every operation
// fails at once instead of waiting for a writer or a reader that never comes.
TEST(Textes, UnTubeNommeNeFaitJamaisAttendre) {
  DossierTemporaire d;
  ASSERT_EQ(::mkfifo("Pontex.wdo", 0644), 0);
  ecrit_octets("a.txt", "x");
  std::string lu;
  EXPECT_FALSE(lit_texte("Pontex.wdo", lu));
  EXPECT_FALSE(ecrit_texte("Pontex.wdo", "x"));
  EXPECT_FALSE(ajoute_texte("Pontex.wdo", "x"));
  EXPECT_FALSE(copie_fichier("Pontex.wdo", "b.txt"));
  EXPECT_FALSE(copie_fichier("a.txt", "Pontex.wdo"));
  EXPECT_FALSE(existe_fichier("Pontex.wdo"));
  EXPECT_EQ(liste("", "*"), Noms{"a.txt"});
}
#endif

// --- Failure hook ---------------------------------------------------------------

TEST(CrochetEchec, ChaqueOperationDemandeAvantDeToucherLeDisque) {
  DossierTemporaire d;
  ecrit_octets("import/a.txt", "contenu");
  std::vector<std::string> vus;
  Operation refusee{};
  EchecInjecte crochet([&](Operation op, std::string_view chemin) {
    vus.emplace_back(chemin);
    return op == refusee;
  });
  std::string lu;
  Noms noms{"reste"};
  // Each operation, refused, fails.
  const std::pair<Operation, std::function<bool()>> cas[] = {
      {Operation::copie, [] { return !copie_fichier("import\\a.txt", "import\\a.old"); }},
      {Operation::suppression, [] { return !supprime_fichier("import\\a.txt"); }},
      {Operation::suppression, [] { return !supprime_motif("import\\*.txt"); }},
      {Operation::renommage, [] { return !renomme_fichier("import\\a.txt", "import\\b.txt"); }},
      {Operation::creation_dossier, [] { return !cree_dossier("export"); }},
      {Operation::listage,
       [&] { return !liste_fichiers("import", "*.txt", noms) && noms.empty(); }},
      {Operation::listage, [] { return !existe_fichier("import\\a.txt"); }},
      {Operation::listage, [] { return !existe_dossier("import"); }},
      {Operation::ecriture, [] { return !ecrit_texte("import\\a.txt", "perdu"); }},
      {Operation::ecriture, [] { return !ajoute_texte("import\\a.txt", "perdu"); }},
      {Operation::ouverture, [&] { return !lit_texte("import\\a.txt", lu); }},
      {Operation::ouverture, [] { return !ecrit_texte("import\\c.txt", "x"); }},
      {Operation::lecture, [&] { return !lit_texte("import\\a.txt", lu); }},
      {Operation::lecture, [] { return !date_modification("import\\a.txt"); }},
  };
  for (std::size_t i = 0; i < std::size(cas); ++i) {
    refusee = cas[i].first;
    EXPECT_TRUE(cas[i].second()) << "case " << i;
  }
  // Nothing reached the disk.
  EXPECT_EQ(noms_disque("import"), Noms{"a.txt"});
  EXPECT_EQ(lit_octets("import/a.txt"), "contenu");
  EXPECT_FALSE(fs::exists("export"));
  // The hook sees the caller's own form of the path.
  refusee = Operation::copie;
  EXPECT_TRUE(ecrit_texte("IMPORT\\A.TXT", "nouveau"));
  EXPECT_EQ(vus.back(), "IMPORT\\A.TXT");
}

}  // namespace
}  // namespace pontex

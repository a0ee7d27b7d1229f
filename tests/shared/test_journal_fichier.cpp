// Journal day files: order, midnight, old files removed, an unwritable folder.

#include <gtest/gtest.h>

#include <filesystem>

#include "pontex/shared/journal_fichier.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex::test {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const std::string fin = "\r\n";
#else
const std::string fin = "\n";
#endif

TEST(JournalFichier, LignesDansLOrdreEnLotsSansLigneCoupee) {
  DossierTemporaire d;
  JournalFichier j;
  j.nettoie(DateHeure{2026, 12, 7, 9, 0, 0});
  ASSERT_TRUE(fs::is_directory("journal"));
  j.ajoute(DateHeure{2026, 12, 7, 9, 5, 1}, "Démarrage");
  j.ajoute(DateHeure{2026, 12, 7, 9, 5, 6}, "Traitement : a.txt");
  // Nothing reaches the disk before the batch is written.
  EXPECT_FALSE(fs::exists("journal/pontex_2026-12-07.log"));
  ASSERT_TRUE(j.ecrit_en_attente());
  // A message holding a line end stays one stamped line.
  j.ajoute(DateHeure{2026, 12, 7, 9, 5, 7}, "deux\r\nlignes");
  j.ajoute(DateHeure{2026, 12, 7, 9, 5, 7}, "un\nseul");
  j.ajoute(DateHeure{2026, 12, 7, 9, 5, 7}, "\rseul");
  ASSERT_TRUE(j.ecrit_en_attente());
  EXPECT_FALSE(j.a_ecrire());
  EXPECT_EQ(lit_octets("journal/pontex_2026-12-07.log"),
            "2026-12-07 09:05:01 - Démarrage" + fin + "2026-12-07 09:05:06 - Traitement : a.txt" +
                fin + "2026-12-07 09:05:07 - deux  lignes" + fin + "2026-12-07 09:05:07 - un seul" +
                fin + "2026-12-07 09:05:07 -  seul" + fin);
}

TEST(JournalFichier, UnLotQuiPasseMinuitVaDansDeuxFichiers) {
  DossierTemporaire d;
  JournalFichier j;
  j.nettoie(DateHeure{2026, 12, 31, 23, 59, 58});
  j.ajoute(DateHeure{2026, 12, 31, 23, 59, 59}, "avant");
  j.ajoute(DateHeure{2027, 1, 1, 0, 0, 0}, "après");
  j.ajoute(DateHeure{2027, 1, 1, 0, 0, 1}, "encore");
  ASSERT_TRUE(j.ecrit_en_attente());
  EXPECT_EQ(lit_octets("journal/pontex_2026-12-31.log"), "2026-12-31 23:59:59 - avant" + fin);
  EXPECT_EQ(lit_octets("journal/pontex_2027-01-01.log"),
            "2027-01-01 00:00:00 - après" + fin + "2027-01-01 00:00:01 - encore" + fin);
}

TEST(JournalFichier, LesFichiersDePlusDe31JoursSontSupprimesAuDemarrage) {
  DossierTemporaire d;
  for (const char* nom : {"pontex_2026-11-05.log",  // 32 days before 7 December
                          "pontex_2026-11-06.log",  // 31 days: kept
                          "pontex_2026-12-07.log", "pontex_2025-02-30.log", "pontex_notes.log",
                          "autre_2020-01-01.log"}) {
    ecrit_octets(fs::path("journal") / nom, "x");
  }
  JournalFichier j;
  j.nettoie(DateHeure{2026, 12, 7, 8, 0, 0});
  EXPECT_FALSE(fs::exists("journal/pontex_2026-11-05.log"));
  EXPECT_TRUE(fs::exists("journal/pontex_2026-11-06.log"));
  EXPECT_TRUE(fs::exists("journal/pontex_2026-12-07.log"));
  // Names that are not a day file are somebody else's: left alone.
  EXPECT_TRUE(fs::exists("journal/pontex_2025-02-30.log"));
  EXPECT_TRUE(fs::exists("journal/pontex_notes.log"));
  EXPECT_TRUE(fs::exists("journal/autre_2020-01-01.log"));
}

TEST(JournalFichier, UnJournalQuOnNePeutEcrireGardeSesLignesPourLaFois) {
  DossierTemporaire d;
  JournalFichier j;
  j.nettoie(DateHeure{2026, 12, 7, 8, 0, 0});
  {
    // Whatever makes the folder unwritable (rights, a full disk) shows
    // as a failed open, even to root.
    EchecInjecte e(
        [](Operation, std::string_view chemin) { return chemin.starts_with("journal"); });
    j.ajoute(DateHeure{2026, 12, 7, 8, 0, 1}, "un");
    EXPECT_FALSE(j.ecrit_en_attente());
    EXPECT_TRUE(j.a_ecrire());
    j.ajoute(DateHeure{2026, 12, 7, 8, 0, 2}, "deux");
    EXPECT_FALSE(j.ecrit_en_attente());
  }
  ASSERT_TRUE(j.ecrit_en_attente());
  EXPECT_EQ(lit_octets("journal/pontex_2026-12-07.log"),
            "2026-12-07 08:00:01 - un" + fin + "2026-12-07 08:00:02 - deux" + fin);
}

TEST(JournalFichier, UnJournalBloqueLongtempsNeGardeQueLesDernieresLignes) {
  DossierTemporaire d;
  // "journal" is a file: no day file can ever be made in it.
  ecrit_octets("journal", "");
  JournalFichier j;
  j.nettoie(DateHeure{2026, 12, 7, 8, 0, 0});
  const std::string ligne(100, 'x');
  for (int i = 0; i < 80000; ++i) j.ajoute(DateHeure{2026, 12, 7, 8, 0, 0}, ligne);
  EXPECT_FALSE(j.ecrit_en_attente());
  EXPECT_LE(j.octets_en_attente(), 8 * JournalFichier::taille_lot);
  EXPECT_GT(j.octets_en_attente(), 6 * JournalFichier::taille_lot);
  fs::remove("journal");
  ASSERT_TRUE(j.ecrit_en_attente());
  // Whole lines only, the newest kept.
  const std::string contenu = lit_octets("journal/pontex_2026-12-07.log");
  EXPECT_TRUE(contenu.starts_with("2026-12-07 08:00:00 - x"));
  EXPECT_TRUE(contenu.ends_with("x" + fin));
  const std::string une = "2026-12-07 08:00:00 - " + ligne + fin;
  EXPECT_EQ(contenu.size() % une.size(), 0u);
}

// A link in place of the journal folder: nothing deleted or written through it.
TEST(JournalFichier, UnDossierJournalQuiEstUnLienNEstPasSuivi) {
  DossierTemporaire d;
  ecrit_octets(fs::path("ailleurs") / "pontex_2020-01-01.log", "archive");
  std::error_code erreur;
  fs::create_directory_symlink("ailleurs", "journal", erreur);
  // Windows grants links only to some accounts; Wine has none to give.
  if (erreur) GTEST_SKIP() << "symbolic links unavailable here: " << erreur.message();
  JournalFichier j;
  j.nettoie(DateHeure{2026, 12, 7, 8, 0, 0});
  j.ajoute(DateHeure{2026, 12, 7, 8, 0, 1}, "un");
  EXPECT_FALSE(j.ecrit_en_attente());
  EXPECT_TRUE(j.a_ecrire());
  EXPECT_EQ(lit_octets("ailleurs/pontex_2020-01-01.log"), "archive");
  EXPECT_FALSE(fs::exists("ailleurs/pontex_2026-12-07.log"));
  fs::remove("journal");
  fs::create_directory("journal");
  ASSERT_TRUE(j.ecrit_en_attente());
  EXPECT_EQ(lit_octets("journal/pontex_2026-12-07.log"), "2026-12-07 08:00:01 - un" + fin);
}

}  // namespace
}  // namespace pontex::test

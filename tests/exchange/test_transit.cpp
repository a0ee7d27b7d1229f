// The transit folder is written by the stock server through a share, so
// whatever it holds is handled as hostile: links are never followed, a
// listed name is never read as a path, a file's cost is bounded, and no
// unknown reference is dropped. Each test drops one such thing and checks
// that nothing outside the transit folder is read or written.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

#include "pontex/exchange/echange.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

class Transit : public Echange {
 protected:
  // A file of the shop outside the transit folder, which the server must
  // never reach.
  fs::path secret() const { return b.dossier.chemin() / "secret.txt"; }
  void lien(const fs::path& cible, const fs::path& nom) {
    std::error_code erreur;
    fs::create_symlink(cible, nom, erreur);
    // Windows grants links only to some accounts; Wine has none to give.
    if (erreur) GTEST_SKIP() << "symbolic links unavailable here: " << erreur.message();
  }
  static bool est_lien(const fs::path& p) { return fs::is_symlink(fs::symlink_status(p)); }
};

TEST_F(Transit, ALinkInTheImportFolderIsNotRead) {
  ecrit_octets(secret(), "BOU-001\t5\nMOTDEPASSE\t1\n");
  // Not changed lately: nothing but the link itself may keep it back.
  fs::last_write_time(secret(), fs::file_time_type::clock::now() - std::chrono::hours(1));
  lien(secret(), b.import() / "z.txt");
  if (HasFatalFailure() || IsSkipped()) return;
  importe();
  EXPECT_EQ(b.fenetre.journal, Lignes{"Fichier non trait\351 : z.txt"});
  EXPECT_TRUE(est_lien(b.import() / "z.txt"));
  EXPECT_FALSE(fs::exists(b.import() / "z.old"));
  EXPECT_FALSE(fs::exists(b.fichier_erreurs()));
  EXPECT_EQ(b.article(1).stock(), 10.0f);
}

#ifndef _WIN32
// Only a Linux share can hold a name with a backslash (Windows refuses it).
TEST_F(Transit, ABackslashInAListedNameIsNotAFolder) {
  const fs::path notes = b.dossier.chemin() / "outside" / "notes.txt";
  ecrit_octets(notes, "BOU-001\t5\nrendez-vous\n");
  fs::last_write_time(notes, fs::file_time_type::clock::now() - std::chrono::hours(1));
  // From import\, two levels up is the folder that holds the transit folder.
  const std::string nom = "\\..\\..\\outside\\notes.txt";
  ecrit_octets(b.import() / nom, "EPI-002\t1\n");
  importe();
  // The journal writes the name's own backslashes as "\x5c", so that no
  // name of the folder reads like another.
  EXPECT_EQ(b.fenetre.journal,
            Lignes{"Fichier non trait\351 : \\x5c..\\x5c..\\x5coutside\\x5cnotes.txt"});
  EXPECT_EQ(lit_octets(notes), "BOU-001\t5\nrendez-vous\n");
  EXPECT_EQ(lit_octets(b.import() / nom), "EPI-002\t1\n");
  EXPECT_EQ(Boutique::fichiers(b.import()), Lignes{nom});
  EXPECT_EQ(b.article(1).stock(), 10.0f);
  EXPECT_EQ(b.article(2).stock(), 2.5f);
}

TEST_F(Transit, ABackslashInAWaitingExportNameMovesNothing) {
  const fs::path compta = b.dossier.chemin() / "Documents" / "compta.txt";
  ecrit_octets(compta, "bilan\r\n");
  const std::string nom = "stock_a\\..\\..\\..\\Documents\\compta.txt";
  ecrit_octets(b.exporte() / nom, "x\r\n");
  exporte();
  EXPECT_EQ(lit_octets(compta), "bilan\r\n");
  EXPECT_EQ(Boutique::fichiers(b.histo()), Lignes{});
  EXPECT_EQ(lit_octets(b.exporte() / nom), "x\r\n");
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Fichier non trait\351 : " + nom, "Sauvegarde histo Sorties",
                                       "Export g\351n\351r\351"}));
}
#endif

// A link under each name Pontex writes in the transit folder is replaced by
// a plain file; its target, which does not exist yet or holds the shop's
// data, is never created or written.
TEST_F(Transit, LinksUnderTheKeptCopyAndTheErrorFileAreReplaced) {
  const fs::path autostart = b.dossier.chemin() / "autostart.desktop";
  ecrit_octets(secret(), "# shell start-up\n");
  lien(autostart, b.import() / "m.old");
  if (HasFatalFailure() || IsSkipped()) return;
  lien(secret(), b.fichier_erreurs());
  b.depose("m.txt", "INCONNU\t2\n");
  importe();
  EXPECT_FALSE(fs::exists(autostart));
  EXPECT_EQ(lit_octets(secret()), "# shell start-up\n");
  EXPECT_FALSE(est_lien(b.import() / "m.old"));
  EXPECT_EQ(lit_octets(b.import() / "m.old"), "INCONNU\t2\n");
  EXPECT_FALSE(est_lien(b.fichier_erreurs()));
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 2 \r\n");
}

TEST_F(Transit, LinksInTheExportAndItsArchiveAreNeverWrittenThrough) {
  ecrit_octets(secret(), "compta\n");
  const std::string nom = "stock_20261205210709.txt";
  // Every name a predictable temporary could have had, the export's own
  // name, and the archive copy of a waiting file.
  lien(secret(), b.exporte() / (nom + ".tmp"));
  if (HasFatalFailure() || IsSkipped()) return;
  lien(secret(), b.exporte() / nom);
  ecrit_octets(b.exporte() / "stock_zz.txt", "attente\r\n");
  lien(secret(), b.histo() / "stock_zz.txt");
  exporte();
  EXPECT_EQ(lit_octets(secret()), "compta\n");
  EXPECT_FALSE(est_lien(b.exporte() / nom));
  EXPECT_EQ(lit_octets(b.exporte() / nom), "BOU-001\t10.00\t\r\nEPI-002\t2.50\t\r\n");
  EXPECT_FALSE(est_lien(b.histo() / "stock_zz.txt"));
  EXPECT_EQ(lit_octets(b.histo() / "stock_zz.txt"), "attente\r\n");
  EXPECT_FALSE(fs::exists(b.exporte() / "stock_zz.txt"));
}

TEST_F(Transit, AFileAboveTheBoundStaysAndIsReported) {
  // Sparse: 64 MiB and one byte cost nothing on disk, and must cost nothing
  // to Pontex either.
  const fs::path gros = b.depose("gros.txt", "");
  fs::resize_file(gros, 64ull * 1024 * 1024 + 1);
  b.depose("petit.txt", "BOU-001\t1\n");
  const auto date = fs::last_write_time(b.import() / "petit.txt");
  fs::last_write_time(gros, date);
  importe();
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Fichier trop volumineux : gros.txt", "Traitement : petit.txt",
                    "1.00 x " + designation_40("PAIN DE CAMPAGNE")}));
  EXPECT_EQ(fs::file_size(gros), 64ull * 1024 * 1024 + 1);
  EXPECT_FALSE(fs::exists(b.import() / "gros.old"));
  EXPECT_FALSE(analyse_presente());
}

TEST_F(Transit, AFileWaitsWhileTheDaysErrorFileCannotBeWritten) {
  fs::create_directory(b.fichier_erreurs());  // in the way of the error file
  b.depose("a.txt", "INCONNU\t1\nBOU-001\t1\n");
  importe();
  EXPECT_EQ(b.fenetre.journal, Lignes{"Fichier non trait\351 : a.txt"});
  EXPECT_EQ(lit_octets(b.import() / "a.txt"), "INCONNU\t1\nBOU-001\t1\n");
  EXPECT_EQ(b.article(1).stock(), 10.0f);

  fs::remove(b.fichier_erreurs());
  b.fenetre.journal.clear();
  importe();
  EXPECT_EQ(b.fenetre.journal[0], "Traitement : a.txt");
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\n");
  EXPECT_EQ(b.article(1).stock(), 11.0f);
}

// On a day without unknown references the check leaves no empty error file
// for the server to collect.
TEST_F(Transit, TheErrorFileCheckLeavesNoEmptyFile) {
  b.depose("a.txt", "BOU-001\t1\n");
  importe();
  EXPECT_EQ(Boutique::fichiers(b.import()), Lignes{"a.old"});
}

}  // namespace
}  // namespace pontex::test

// The server's share is hostile: no link followed, no name taken as a path, bounded cost.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "pontex/exchange/echange.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

class Transit : public Echange {
 protected:
  // A file of the shop outside the transit folder, which the server must never reach.
  fs::path secret() const { return b.dossier.chemin() / "secret.txt"; }
  void lien(const fs::path& cible, const fs::path& nom) {
    std::error_code erreur;
    fs::create_symlink(cible, nom, erreur);
    // Windows grants links only to some accounts; Wine has none to give.
    if (erreur) GTEST_SKIP() << "symbolic links unavailable here: " << erreur.message();
  }
  static bool est_lien(const fs::path& p) { return fs::is_symlink(fs::symlink_status(p)); }

  // One exchange as the cycle runs it: both halves in the folders opened at its start.
  void echange() {
    const TenueDossiers dossiers(b.valeurs, b.fenetre);
    importe();
    exporte();
  }
  // A folder of the shop beside the transit folder, that a link put in the
  // transit folder by the server's side leads to.
  fs::path dehors() const { return b.dossier.chemin() / "dehors"; }
  // `dossier` of the transit folder replaced by a link to dehors().
  void remplace_par_lien(const fs::path& dossier) {
    fs::remove_all(dossier);
    lien(dehors(), dossier);
  }
  // A file of dehors() left alone for an hour, so that only the link can keep it back.
  void ecrit_dehors(const std::string& nom, const std::string& contenu) {
    ecrit_octets(dehors() / nom, contenu);
    fs::last_write_time(dehors() / nom, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  static const std::string nom_export;
};

const std::string Transit::nom_export = "stock_20261205210709.txt";

TEST_F(Transit, UnLienDansLeDossierDImportNEstPasLu) {
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
TEST_F(Transit, UnAntislashDansUnNomListeNEstPasUnDossier) {
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

TEST_F(Transit, UnAntislashDansUnExportEnAttenteNeDeplaceRien) {
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

// Links under the names Pontex writes are replaced by plain files; their targets are untouched.
TEST_F(Transit, LesLiensSousLaCopieGardeeEtLeFichierErreurSontRemplaces) {
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

TEST_F(Transit, OnNEcritJamaisATraversLesLiensDeLExportEtDeSonArchive) {
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

TEST_F(Transit, UnFichierAuDessusDeLaBorneResteEtEstSignale) {
  // Sparse: 64 MiB and one byte cost nothing on disk, and must cost nothing to Pontex either.
  const fs::path gros = b.depose("gros.txt", "");
  fs::resize_file(gros, 64ull * 1024 * 1024 + 1);
  b.depose("petit.txt", "BOU-001\t1\n");
  const auto date = fs::last_write_time(b.import() / "petit.txt");
  fs::last_write_time(gros, date);
  importe();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Fichier trop volumineux : gros.txt",
                                       "Traitement : petit.txt", ligne_pain("1.00")}));
  EXPECT_EQ(fs::file_size(gros), 64ull * 1024 * 1024 + 1);
  EXPECT_FALSE(fs::exists(b.import() / "gros.old"));
  EXPECT_FALSE(analyse_presente());
}

TEST_F(Transit, UnFichierAttendTantQueLeFichierErreurDuJourEstImpossible) {
  fs::create_directory(b.fichier_erreurs());  // in the way of the error file
  b.depose("a.txt", "INCONNU\t1\nBOU-001\t1\n");
  importe();
  EXPECT_EQ(b.fenetre.journal, Lignes{"Fichier non trait\351 : a.txt"});
  EXPECT_EQ(lit_octets(b.import() / "a.txt"), "INCONNU\t1\nBOU-001\t1\n");
  EXPECT_EQ(b.article(1).stock(), 10.0f);
  fs::remove(b.fichier_erreurs());
  reimporte();
  EXPECT_EQ(b.fenetre.journal[0], "Traitement : a.txt");
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\n");
  EXPECT_EQ(b.article(1).stock(), 11.0f);
}

// import as a link: nothing it leads to is applied, deleted or written; the export still goes.
TEST_F(Transit, UnDossierDImportQuiEstUnLienNEstPasUtilise) {
  ecrit_dehors("m.txt", "BOU-001\t5\nINCONNU\t1\n");
  ecrit_dehors("notes.old", "notes");
  remplace_par_lien(b.import());
  if (HasFatalFailure() || IsSkipped()) return;
  echange();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Dossier non trait\351 : import", "Sauvegarde histo Sorties",
                                       "Export g\351n\351r\351"}));
  EXPECT_EQ(Boutique::fichiers(dehors()), (Lignes{"m.txt", "notes.old"}));
  EXPECT_EQ(lit_octets(dehors() / "m.txt"), "BOU-001\t5\nINCONNU\t1\n");
  EXPECT_EQ(lit_octets(dehors() / "notes.old"), "notes");
  EXPECT_EQ(b.article(1).stock(), 10.0f);
  EXPECT_FALSE(analyse_presente());
  EXPECT_EQ(lit_octets(b.exporte() / nom_export), "BOU-001\t10.00\t\r\nEPI-002\t2.50\t\r\n");
}

// export as a link: nothing goes or moves there, the received files still apply.
TEST_F(Transit, UnDossierDExportQuiEstUnLienNEstPasUtilise) {
  ecrit_dehors("stock_1.txt", "attente\r\n");
  remplace_par_lien(b.exporte());
  if (HasFatalFailure() || IsSkipped()) return;
  b.depose("m.txt", "BOU-001\t1\n");
  echange();
  ASSERT_EQ(b.fenetre.journal.size(), 5u);
  EXPECT_EQ(Lignes(b.fenetre.journal.begin(), b.fenetre.journal.end() - 1),
            (Lignes{"Dossier non trait\351 : export", "Traitement : m.txt", ligne_pain("1.00"),
                    "Sauvegarde histo Sorties"}));
  EXPECT_TRUE(b.fenetre.journal.back().starts_with("Export non \351crit : " + nom_export + " : "))
      << b.fenetre.journal.back();
  EXPECT_EQ(Boutique::fichiers(dehors()), Lignes{"stock_1.txt"});
  EXPECT_EQ(lit_octets(dehors() / "stock_1.txt"), "attente\r\n");
  EXPECT_TRUE(b.fenetre.List2.empty());
  EXPECT_EQ(b.article(1).stock(), 11.0f);
}

// Both archives as links: a waiting export stays put, the rest of the exchange runs.
TEST_F(Transit, LesDossiersDArchiveQuiSontDesLiensNeSontPasUtilises) {
  fs::create_directories(dehors() / "i");
  fs::create_directories(dehors() / "e");
  fs::remove_all(b.import() / "histo");
  lien(dehors() / "i", b.import() / "histo");
  if (HasFatalFailure() || IsSkipped()) return;
  fs::remove_all(b.histo());
  lien(dehors() / "e", b.histo());
  ecrit_octets(b.exporte() / "stock_1.txt", "attente\r\n");
  b.depose("m.txt", "BOU-001\t1\n");
  echange();
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Dossier non trait\351 : import\\histo",
                    "Dossier non trait\351 : export\\histo", "Traitement : m.txt",
                    ligne_pain("1.00"), "Sauvegarde histo Sorties", "Export g\351n\351r\351"}));
  EXPECT_EQ(Boutique::fichiers(dehors() / "i"), Lignes{});
  EXPECT_EQ(Boutique::fichiers(dehors() / "e"), Lignes{});
  EXPECT_EQ(Boutique::fichiers(b.exporte()), (Lignes{"stock_1.txt", nom_export}));
  EXPECT_EQ(lit_octets(b.exporte() / "stock_1.txt"), "attente\r\n");
  EXPECT_EQ(b.article(1).stock(), 11.0f);
}

#ifndef _WIN32
// import swapped with a link as fast as possible during exchanges: nothing outside ever leaks.
TEST_F(Transit, UnDossierDImportRemplaceParUnLienPendantLesEchangesNeLaisseRienFuir) {
  std::string secret;
  for (int i = 1; i <= 40; ++i) secret += "SECRET-" + std::to_string(i) + "\t1\n";
  ecrit_dehors("secret.txt", secret);
  const fs::path transit = b.import().parent_path();
  lien(dehors(), transit / "lien");
  if (HasFatalFailure() || IsSkipped()) return;
  // Unknown references, so that an error file is written while it runs.
  for (const char* nom : {"a.txt", "b.txt", "c.txt"}) b.depose(nom, "INCONNU\t1\n");
  std::atomic<long> echanges_faits{0};
  long bascules = 0;
  {
    std::jthread bascule([&](std::stop_token fin) {
      const auto nom = [&](const char* n) { return (transit / n).string(); };
      while (!fin.stop_requested()) {
        // Real folder away, link in; link away, real folder back.
        if (std::rename(nom("import").c_str(), nom("reel").c_str()) == 0) {
          (void)std::rename(nom("lien").c_str(), nom("import").c_str());
          (void)std::rename(nom("import").c_str(), nom("lien").c_str());
          (void)std::rename(nom("reel").c_str(), nom("import").c_str());
        }
        ++bascules;
      }
    });
    const auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < fin && !HasFailure()) {
      echange();
      ++echanges_faits;
      EXPECT_EQ(lit_octets(dehors() / "secret.txt"), secret);
    }
  }
  ASSERT_TRUE(fs::is_directory(fs::symlink_status(b.import())));
  EXPECT_GT(echanges_faits, 10);
  EXPECT_GT(bascules, 100);
  EXPECT_EQ(Boutique::fichiers(dehors()), Lignes{"secret.txt"});
  EXPECT_EQ(lit_octets(dehors() / "secret.txt"), secret);
  for (const auto& e : fs::recursive_directory_iterator(transit)) {
    if (!fs::is_regular_file(e.symlink_status())) continue;
    EXPECT_EQ(lit_octets(e.path()).find("SECRET"), std::string::npos) << e.path();
  }
  for (const std::string& ligne : b.fenetre.journal)
    EXPECT_EQ(ligne.find("SECRET"), std::string::npos) << ligne;
}
#endif

// Our own leftover export temporaries are removed by the next exchange, and only those.
TEST_F(Transit, NosFichiersTemporairesDuDossierDExportSontSupprimes) {
  const Lignes autres{"autre.tmp", "pontex-0123456789abcdef0.tmp", "pontex-0123456789abcdeg.tmp",
                      "pontex-x.tmp", "pontex-0123456789abcdef.txt"};
  for (const std::string& nom : autres) ecrit_octets(b.exporte() / nom, "x");
  ecrit_octets(b.exporte() / "pontex-0123456789abcdef.tmp", "BOU-001\t10.00\t\r\n");
  ecrit_octets(b.import() / "pontex-0123456789abcdef.tmp", "x");
  echange();
  Lignes restent = autres;
  restent.push_back(nom_export);
  std::sort(restent.begin(), restent.end());
  EXPECT_EQ(Boutique::fichiers(b.exporte()), restent);
  EXPECT_TRUE(fs::exists(b.import() / "pontex-0123456789abcdef.tmp"));
}

}  // namespace
}  // namespace pontex::test

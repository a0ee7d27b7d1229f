// The import then the export: server files applied once, in name order, never lost.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pontex/exchange/articles_echange.h"
#include "pontex/exchange/echange.h"
#include "pontex/shared/fichiers.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

using Import = Echange;

TEST_F(Import, CycleEntierOctetParOctet) {
  ecrit_octets(b.exporte() / "stock_20261205200000.txt", "EPI-002\t2.50\t\r\n");
  const std::string a = "BOU-001\t2\nINCONNU\t1.5\n";
  const std::string bb = "bou-001\t-3\r\n1000000000002\t0.5\t\r\n";
  b.depose("b.TXT", bb);
  b.depose("a.txt", a);
  const std::string mouvements_avant = lit_octets(b.caisse() / "W_CAIREC.WDO");
  cycle();
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : a.txt", ligne_pain("2.00"),
                    "1.50 x Erreur reference : INCONNU (a.txt, ligne 2)", "Traitement : b.TXT",
                    ligne_pain("-3.00"), ligne_cafe("0.50"), "Sauvegarde histo Sorties",
                    "Export g\351n\351r\351"}));
  EXPECT_EQ(b.fenetre.passes_evenements, 3);
  // Import folder: the kept copies and the day's error file only.
  EXPECT_EQ(Boutique::fichiers(b.import()), (Lignes{"a.old", "b.old", "erreurs_05-12-2026.err"}));
  EXPECT_EQ(lit_octets(b.import() / "a.old"), a);
  EXPECT_EQ(lit_octets(b.import() / "b.old"), bb);
  EXPECT_EQ(lit_octets(b.fichier_erreurs()), "Erreur reference : INCONNU 1.5 \r\n");
  EXPECT_FALSE(analyse_presente());
  // Articles: stock, second quantity and date of the two moved ones only.
  std::string attendu1 = octets_de(b.originaux[0]);
  std::string attendu2 = octets_de(b.originaux[1]);
  attendu1.replace(71, 4, octets_f32(9.0f)).replace(79, 4, octets_f32(6.0f));
  attendu2.replace(71, 4, octets_f32(3.0f)).replace(79, 4, octets_f32(-0.5f));
  attendu1.replace(93, 10, "05-12-2026");
  attendu2.replace(93, 10, "05-12-2026");
  EXPECT_EQ(octets_de(b.article(1)), attendu1);
  EXPECT_EQ(octets_de(b.article(2)), attendu2);
  for (std::int32_t k = 3; k <= 6; ++k) EXPECT_EQ(b.article(k).octets, b.originaux[k - 1].octets);
  EXPECT_EQ(b.article(0).nombre_articles(), 6);
  // Movement file: header count 3 (its other bytes as they were), then the
  // three movements in file order.
  std::string entete = mouvements_avant.substr(0, 64);
  entete.replace(48, 4, std::string("\003\0\0\0", 4));
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO"),
            entete + mouvement_attendu("1000000000001", 2.0f, 12345, 7, 3) +
                mouvement_attendu("1000000000001", -3.0f, 12345, 7, 3) +
                mouvement_attendu("1000000000002", 0.5f, -7, 7, 3));
  // Export: the waiting file archived, the new one with the new stock.
  EXPECT_EQ(b.fenetre.List2, (Lignes{"stock_20261205200000.txt"}));
  EXPECT_EQ(Boutique::fichiers(b.histo()), (Lignes{"stock_20261205200000.txt"}));
  EXPECT_EQ(lit_octets(b.histo() / "stock_20261205200000.txt"), "EPI-002\t2.50\t\r\n");
  EXPECT_EQ(Boutique::fichiers(b.exporte()), (Lignes{"stock_20261205210709.txt"}));
  EXPECT_EQ(lit_octets(b.exporte() / "stock_20261205210709.txt"),
            "BOU-001\t9.00\t\r\nEPI-002\t3.00\t\r\n");
  EXPECT_EQ(b.fenetre.File2.noms(), (Lignes{"stock_20261205210709.txt"}));
}

TEST_F(Import, LaCopieGardeeRemplaceSeulementLeTxtFinalEnToutesCasses) {
  b.depose("X.TXT", "A\t1\n");
  b.depose("a.txt.txt", "B\t1\n");
  b.depose("c.Txt", "C\t1\n");
  ecrit_octets(b.import() / "c.old", "yesterday\n");
  importe();
  EXPECT_EQ(Boutique::fichiers(b.import()),
            (Lignes{"X.old", "a.txt.old", "c.old", "erreurs_05-12-2026.err"}));
  EXPECT_EQ(lit_octets(b.import() / "c.old"), "C\t1\n");
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : a.txt.txt", "1.00 x Erreur reference : B (a.txt.txt, ligne 1)",
                    "Traitement : c.Txt", "1.00 x Erreur reference : C (c.Txt, ligne 1)",
                    "Traitement : X.TXT", "1.00 x Erreur reference : A (X.TXT, ligne 1)"}));
}

// A failed step leaves the file in place, applied once by the next cycle.
struct EtapeEchouee {
  Operation operation;
  // End of the path that fails: a copy fails on its source or destination,
  // so "a.txt" fails the first copy, to the working file.
  const char* chemin;
};

class ImportEchec : public Import, public ::testing::WithParamInterface<EtapeEchouee> {};

TEST_P(ImportEchec, FichierLaisseIntactEtAppliqueUneFoisPlusTard) {
  const std::string contenu = "BOU-001\t2\n";
  b.depose("a.txt", contenu);
  b.depose("b.txt", "EPI-002\t1\n");
  const EtapeEchouee etape = GetParam();
  {
    const EchecInjecte echec([etape](Operation o, std::string_view chemin) {
      return o == etape.operation && chemin.ends_with(etape.chemin);
    });
    importe();
  }
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Fichier non trait\351 : a.txt", "Traitement : b.txt", ligne_cafe("1.00")}));
  EXPECT_EQ(lit_octets(b.import() / "a.txt"), contenu);
  EXPECT_EQ(b.article(1).stock(), 10.0f);
  EXPECT_FALSE(analyse_presente());
  EXPECT_EQ(reimporte(), (Lignes{"Traitement : a.txt", ligne_pain("2.00")}));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  importe();
  EXPECT_EQ(b.article(1).stock(), 12.0f);
}

INSTANTIATE_TEST_SUITE_P(Etapes, ImportEchec,
                         ::testing::Values(EtapeEchouee{Operation::copie, "a.txt"},
                                           EtapeEchouee{Operation::copie, "a.old"},
                                           EtapeEchouee{Operation::suppression, "a.txt"},
                                           EtapeEchouee{Operation::synchronisation, "a.old"}));

// The received file leaves the import folder only once its working file and its kept copy are
// on the disk, their bytes and then their folders.
TEST_F(Import, LeFichierRecuNePartQuApresSesCopiesSurLeDisque) {
  b.depose("a.txt", "BOU-001\t2\n");
  Lignes operations;
  {
    const EchecInjecte espion([&](Operation o, std::string_view chemin) {
      if (o == Operation::copie && chemin == "prov_stk_ana_ron.txt")
        operations.push_back("copie");
      else if (o == Operation::synchronisation && chemin == "prov_stk_ana_ron.txt")
        operations.push_back("travail");
      else if (o == Operation::synchronisation && chemin.ends_with("import\\a.old"))
        operations.push_back("a.old");
      else if (o == Operation::synchronisation && chemin.empty())
        operations.push_back("dossier courant");
      else if (o == Operation::synchronisation && chemin.ends_with("import\\"))
        operations.push_back("import");
      else if (o == Operation::suppression && chemin.ends_with("import\\a.txt"))
        operations.push_back("suppression");
      return false;
    });
    importe();
  }
  const auto copie = std::find(operations.begin(), operations.end(), "copie");
  const auto suppression = std::find(copie, operations.end(), "suppression");
  ASSERT_NE(suppression, operations.end()) << ::testing::PrintToString(operations);
  for (const char* avant : {"travail", "a.old", "dossier courant", "import"})
    EXPECT_NE(std::find(copie, suppression, avant), suppression)
        << avant << " not on the disk before the removal: " << ::testing::PrintToString(operations);
  EXPECT_EQ(b.article(1).stock(), 12.0f);
}

// A file the server named otherwise than *.txt is never taken, and said once a day.
TEST_F(Import, UnFichierSansTxtEstSigneUneFoisParJour) {
  b.depose("prix.csv", "BOU-001\t1\n");
  b.depose("notes", "x");
  // Our own files are not the server's.
  b.depose("a.old", "BOU-001\t1\n");
  b.depose("erreurs_04-12-2026.err", "Erreur reference : X 1 \r\n");
  b.depose("pontex-0123456789abcdef.tmp", "x");
  b.depose("m.txt", "BOU-001\t1\n");
  importe();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Traitement : m.txt", ligne_pain("1.00"),
                                       "Fichier ignor\351, nom sans .txt : notes",
                                       "Fichier ignor\351, nom sans .txt : prix.csv"}));
  EXPECT_EQ(lit_octets(b.import() / "prix.csv"), "BOU-001\t1\n");
  // The next exchange is a new process: it remembers what was said today.
  EXPECT_EQ(reimporte(), Lignes{});
  b.depose("autre.csv", "x");
  EXPECT_EQ(reimporte(), Lignes{"Fichier ignor\351, nom sans .txt : autre.csv"});
  b.horloge.regle({2026, 12, 6, 8, 0, 0});
  EXPECT_EQ(reimporte(), (Lignes{"Fichier ignor\351, nom sans .txt : autre.csv",
                                 "Fichier ignor\351, nom sans .txt : notes",
                                 "Fichier ignor\351, nom sans .txt : prix.csv"}));
  EXPECT_EQ(b.article(1).stock(), 11.0f);
}

TEST_F(Import, UnFichierEnCoursDEcritureAttendLeCycleSuivant) {
  const fs::path recent = b.depose("recent.txt", "BOU-001\t1\n");
  fs::last_write_time(recent, fs::file_time_type::clock::now());
  const fs::path futur = b.depose("futur.txt", "EPI-002\t1\n");
  fs::last_write_time(futur, fs::file_time_type::clock::now() + std::chrono::hours(2));
  importe();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Traitement : futur.txt", ligne_cafe("1.00"),
                                       "Fichier non trait\351 : recent.txt"}));
  EXPECT_TRUE(fs::exists(recent));
  EXPECT_FALSE(fs::exists(b.import() / "recent.old"));
}

// The age counts fractions: a file changed about 1.1 s ago is still too young.
TEST_F(Import, LaRegleDesDeuxSecondesCompteLesFractions) {
  using namespace std::chrono;
  // Early in a second, so that the file's age stays below two seconds
  // while its whole-second time lies two seconds back.
  while (duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() % 1000 > 100)
    std::this_thread::sleep_for(milliseconds(10));
  const auto maintenant = system_clock::now();
  const auto fichiers_maintenant = fs::file_time_type::clock::now();
  const auto voulu = floor<seconds>(maintenant) - seconds(2) + milliseconds(900);
  const fs::path f = b.depose("jeune.txt", "BOU-001\t1\n");
  fs::last_write_time(
      f, fichiers_maintenant - duration_cast<fs::file_time_type::duration>(maintenant - voulu));
  // The C++ library of the Windows cross-build sets file times in whole
  // seconds only: there is then no fraction to test.
  const auto lu = date_modification(dossier_import(b.valeurs) + "jeune.txt");
  ASSERT_TRUE(lu);
  if (*lu % seconds(1) == nanoseconds(0)) GTEST_SKIP() << "file times set in whole seconds here";
  importe();
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Fichier non trait\351 : jeune.txt"}));
  EXPECT_TRUE(fs::exists(f));
}

// Read once per exchange: a file arriving meanwhile waits; one taken away is only reported.
TEST_F(Import, UnFichierArrivantPendantLEchangeAttendLeSuivant) {
  b.depose("a.txt", "BOU-001\t1\n");
  b.depose("c.txt", "BOU-001\t1\n");
  b.fenetre.pendant_evenements = [&] {
    if (b.fenetre.passes_evenements == 1) {
      b.depose("b.txt", "BOU-001\t1\n");
      fs::remove(b.import() / "c.txt");  // taken away by someone else
    }
  };
  importe();
  // The folder is read, not the window's list: the file taken away is not looked for.
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{"Traitement : a.txt", ligne_pain("1.00"), "Fichier non trait\351 : c.txt"}));
  EXPECT_EQ(Boutique::fichiers(b.import()), (Lignes{"a.old", "b.txt"}));
  EXPECT_EQ(reimporte(), (Lignes{"Traitement : b.txt", ligne_pain("1.00")}));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(Boutique::fichiers(b.import()), (Lignes{"a.old", "b.old"}));
}

// Binary garbage and an empty file are taken and kept; the cycle goes on to the export.
TEST_F(Import, AvecDesFichiersFautifsLeCycleFinitEtExporte) {
  std::string garbage;
  for (int i = 0; i < 65536; ++i) garbage += static_cast<char>((i * 7919 + i / 3) % 256);
  b.depose("binaire.txt", garbage);
  b.depose("vide.txt", "");
  b.depose("z.txt", "BOU-001\t1\n");
  cycle();
  EXPECT_EQ(Boutique::fichiers(b.import()),
            (Lignes{"binaire.old", "erreurs_05-12-2026.err", "vide.old", "z.old"}));
  EXPECT_EQ(lit_octets(b.import() / "binaire.old"), garbage);
  EXPECT_EQ(b.mouvement(0).poste(), 1);
  EXPECT_EQ(lit_octets(b.exporte() / "stock_20261205210709.txt"),
            "BOU-001\t11.00\t\r\nEPI-002\t2.50\t\r\n");
  EXPECT_EQ(b.fenetre.journal.back(), "Export g\351n\351r\351");
}

TEST_F(Import, SansDossierDeTransitLeCycleFinit) {
  fs::remove_all(b.dossier.chemin() / "transit");
  cycle();
  ASSERT_EQ(b.fenetre.journal.size(), 2u);
  EXPECT_EQ(b.fenetre.journal[0], "Sauvegarde histo Sorties");
  EXPECT_TRUE(b.fenetre.journal[1].starts_with("Export non \351crit : stock_20261205210709.txt : "))
      << b.fenetre.journal[1];
  EXPECT_FALSE(fs::exists(b.dossier.chemin() / "transit"));
}

}  // namespace
}  // namespace pontex::test

namespace pontex::test {
namespace {

// The register's folder away for a moment (a till PC's share rebooting) is never taken for a
// register that does not hold the references: nothing is said unknown, nothing is lost or doubled.
class CaisseIllisible : public Echange {
 protected:
  // The journal's stop line for a register unreadable at record `n`.
  static bool arret_caisse(const std::string& ligne, const std::string& fichier, int n) {
    return ligne.starts_with(
               "Donn\xE9"
               "es de caisse illisibles : " +
               fichier + " ") &&
           ligne.ends_with(
               " : analyse arr\xEAt\xE9"
               "e \xE0 l'enregistrement " +
               std::to_string(n) + ", reprise au prochain d\xE9marrage");
  }
  bool erreur_reference() const { return erreurs().find("Erreur reference") != std::string::npos; }
};

TEST_F(CaisseIllisible, DossierPartiApresDeuxRecordsPuisRevenuToutEstAppliqueUneFois) {
  const std::string contenu = "BOU-001\t1\nEPI-002\t2\nBOU-001\t3\nEPI-002\t4\n";
  b.depose("mvt.txt", contenu);
  int ouvertures = 0;
  {
    // The index cannot be opened at the third record's lookup (after the exchange's own look
    // at it); the records are looked up before the writes of their group, which the folder
    // still takes; then it is gone.
    const EchecInjecte depart([&](Operation o, std::string_view chemin) {
      return o == Operation::ouverture && chemin.ends_with("W_caiind.WDO") && ++ouvertures == 4;
    });
    b.fenetre.File1.rafraichit();
    EXPECT_EQ(traite_import(b.valeurs, b.fenetre), IssueImport::caisse_absente);
  }
  fs::rename(b.caisse(), b.chemin("caisse-partie"));
  ASSERT_FALSE(b.fenetre.journal.empty());
  EXPECT_TRUE(arret_caisse(b.fenetre.journal.back(), "W_caiind.WDO", 3))
      << b.fenetre.journal.back();
  EXPECT_FALSE(erreur_reference());
  EXPECT_TRUE(analyse_presente());
  // Still away: the next exchange takes nothing, says so once, and the re-send waits.
  b.depose("mvt.txt", contenu);
  b.fenetre.journal.clear();
  b.fenetre.File1.rafraichit();
  EXPECT_EQ(traite_import(b.valeurs, b.fenetre), IssueImport::caisse_absente);
  ASSERT_EQ(b.fenetre.journal.size(), 1u);
  EXPECT_TRUE(
      b.fenetre.journal[0].starts_with("Donn\xE9"
                                       "es de caisse illisibles : "));
  EXPECT_TRUE(fs::exists(b.import() / "mvt.txt"));
  fs::remove(b.import() / "mvt.txt");
  fs::rename(b.chemin("caisse-partie"), b.caisse());
  EXPECT_EQ(b.stock(1), 11.0f);
  EXPECT_EQ(b.stock(2), 4.5f);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  // Back: the file goes on from its third record.
  EXPECT_EQ(reimporte().front(), "Reprise : mvt.txt \xE0 partir de l'enregistrement 3");
  EXPECT_EQ(b.stock(1), 14.0f);
  EXPECT_EQ(b.stock(2), 8.5f);
  EXPECT_EQ(b.mouvement(0).poste(), 4);
  EXPECT_FALSE(erreur_reference());
  EXPECT_FALSE(analyse_presente());
  // Wholly applied now: its re-send is refused.
  b.depose("mvt.txt", contenu);
  EXPECT_EQ(reimporte(), Lignes{"Fichier d\xE9j\xE0 trait\xE9 : mvt.txt"});
  EXPECT_EQ(b.stock(1), 14.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 4);
}

// The folder gone between a record's lookup and its movement (the article already written): the
// same wait for the register, not a movement file that refuses; back, the movement is appended.
TEST_F(CaisseIllisible, DossierPartiAvantLeMouvementLaCaisseEstAttendue) {
  b.depose("mvt.txt", "BOU-001\t1\nEPI-002\t2\nBOU-001\t3\n");
  int ecritures = 0;
  {
    const EchecInjecte depart([&](Operation o, std::string_view chemin) {
      if (o == Operation::ecriture && chemin.ends_with("w_caiar4.wdo") && ++ecritures == 2)
        fs::rename(b.caisse(), b.chemin("caisse-partie"));
      return false;
    });
    b.fenetre.File1.rafraichit();
    EXPECT_EQ(traite_import(b.valeurs, b.fenetre), IssueImport::caisse_absente);
  }
  ASSERT_FALSE(b.fenetre.journal.empty());
  EXPECT_TRUE(arret_caisse(b.fenetre.journal.back(), "W_caiind.WDO", 2))
      << b.fenetre.journal.back();
  fs::rename(b.chemin("caisse-partie"), b.caisse());
  EXPECT_EQ(b.mouvement(0).poste(), 1);
  reimporte();
  EXPECT_EQ(b.stock(1), 14.0f);
  EXPECT_EQ(b.stock(2), 4.5f);
  EXPECT_EQ(b.mouvement(0).poste(), 3);
  EXPECT_EQ(erreurs(), "");
  EXPECT_FALSE(analyse_presente());
}

// Only the index missing: checked before anything is taken; the files stay in import.
TEST_F(CaisseIllisible, IndexSeulAbsentLesFichiersRestentDansImport) {
  const std::string index = lit_octets(b.caisse() / "W_caiind.WDO");
  fs::remove(b.caisse() / "W_caiind.WDO");
  b.depose("a.txt", "BOU-001\t2\n");
  b.depose("b.txt", "EPI-002\t1\n");
  b.fenetre.File1.rafraichit();
  EXPECT_EQ(traite_import(b.valeurs, b.fenetre), IssueImport::caisse_absente);
  ASSERT_EQ(b.fenetre.journal.size(), 1u);
  EXPECT_TRUE(
      b.fenetre.journal[0].starts_with("Donn\xE9"
                                       "es de caisse illisibles : W_caiind.WDO "))
      << b.fenetre.journal[0];
  EXPECT_EQ(Boutique::fichiers(b.import()), (Lignes{"a.txt", "b.txt"}));
  EXPECT_FALSE(analyse_presente());
  EXPECT_EQ(erreurs(), "");
  EXPECT_EQ(b.stock(1), 10.0f);
  // The index back: both applied.
  ecrit_octets(b.caisse() / "W_caiind.WDO", index);
  b.fenetre.File1.rafraichit();
  EXPECT_EQ(traite_import(b.valeurs, b.fenetre), IssueImport::faite);
  EXPECT_EQ(b.stock(1), 12.0f);
  EXPECT_EQ(b.stock(2), 3.5f);
  EXPECT_EQ(erreurs(), "");
}

// A read of the index that fails in the middle of a lookup is no unknown reference either.
TEST_F(CaisseIllisible, LectureDeLIndexEnEchecArreteLeFichier) {
  b.depose("a.txt", "BOU-001\t2\nINCONNU\t1\n");
  int lectures = 0;
  {
    const EchecInjecte echec([&](Operation o, std::string_view chemin) {
      return o == Operation::lecture && chemin.ends_with("W_caiind.WDO") && ++lectures > 3;
    });
    b.fenetre.File1.rafraichit();
    EXPECT_EQ(traite_import(b.valeurs, b.fenetre), IssueImport::caisse_absente);
  }
  EXPECT_FALSE(erreur_reference());
  EXPECT_TRUE(reimporte().front().starts_with("Reprise : a.txt \xE0 partir de l'enregistrement "));
  EXPECT_EQ(b.stock(1), 12.0f);
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\n");
}

}  // namespace
}  // namespace pontex::test

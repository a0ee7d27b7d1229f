// A system stop while files are applied: the record finished, the rest at next start.

#include <gtest/gtest.h>

#include <string>

#include "pontex/exchange/echange.h"
#include "pontex/shared/arret_systeme.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

// The exchange's window, the system's stop arriving after its `apres`-th journal line.
class FenetreArretee : public FenetreEnregistreuse {
 public:
  FenetreArretee(const std::string& transit, int apres)
      : FenetreEnregistreuse(transit), reste_(apres) {}
  using FenetreEnregistreuse::ajoute_journal;
  void ajoute_journal(std::string_view message, SorteLigne sorte) override {
    FenetreEnregistreuse::ajoute_journal(message, sorte);
    if (--reste_ == 0) demande_arret();
  }

 private:
  int reste_;
};

class ArretSysteme : public ::testing::Test {
 protected:
  void TearDown() override { oublie_arret(); }
};

// Six records of the first file (one unknown reference), a second file waiting behind it.
const std::string premier =
    "BOU-001\t1\nEPI-002\t2\nINCONNU\t5\nBOU-001\t1\nEPI-002\t2\nBOU-001\t1\n";
const std::string second = "BOU-001\t10\n";

void livre_deux_fichiers(Boutique& b) {
  b.ecrit_caisse(articles_boutique());
  b.depose("a.txt", premier);
  b.depose("b.txt", second);
}

TEST_F(ArretSysteme, ApresChaqueLigneDuJournalLaSuiteUneFoisAuProchainDemarrage) {
  // The journal lines of an uninterrupted run: one stop after each.
  int lignes = 0;
  {
    Boutique t;
    livre_deux_fichiers(t);
    t.fenetre.File1.rafraichit();
    traite_import(t.valeurs, t.fenetre);
    lignes = static_cast<int>(t.fenetre.journal.size());
    ASSERT_EQ(t.mouvement(0).poste(), 6);
  }
  ASSERT_GE(lignes, 8);
  for (int apres = 1; apres <= lignes; ++apres) {
    SCOPED_TRACE("stop after journal line " + std::to_string(apres));
    Boutique s;
    livre_deux_fichiers(s);
    FenetreArretee f(s.valeurs.config.transit, apres);
    f.File1.rafraichit();
    traite_import(s.valeurs, f);
    // Nothing more after the stop but the line that says where it stopped.
    EXPECT_LE(f.journal.size(), static_cast<std::size_t>(apres) + 1);
    const bool deuxieme_pris = !fs::exists(s.import() / "b.txt");
    // A stop while the first file is applied leaves the second one waiting.
    if (!deuxieme_pris) {
      EXPECT_NE(f.journal.back().find("Arr\xEAt demand\xE9 par le syst\xE8me"), std::string::npos);
    }
    oublie_arret();
    s.fenetre.File1.rafraichit();
    traite_import(s.valeurs, s.fenetre);
    EXPECT_FALSE(fs::exists(s.import() / "a.txt"));
    EXPECT_FALSE(fs::exists(s.import() / "b.txt"));
    EXPECT_FALSE(fs::exists(s.dossier.chemin() / "prov_stk_ana_ron.txt"));
    EXPECT_FLOAT_EQ(s.article(1).stock(), 10.0f + 3 + 10);
    EXPECT_FLOAT_EQ(s.article(2).stock(), 2.5f + 4);
    EXPECT_EQ(s.mouvement(0).poste(), 6);
    EXPECT_EQ(lit_octets(s.fichier_erreurs()), "Erreur reference : INCONNU 5 \r\n");
  }
}

// A stop between two files leaves the second in the import folder as it came.
TEST_F(ArretSysteme, EntreDeuxFichiersLeSuivantResteDansLImport) {
  Boutique s;
  livre_deux_fichiers(s);
  s.fenetre.pendant_evenements = [] { demande_arret(); };
  s.fenetre.File1.rafraichit();
  traite_import(s.valeurs, s.fenetre);
  EXPECT_FALSE(fs::exists(s.import() / "a.txt"));
  EXPECT_EQ(lit_octets(s.import() / "b.txt"), second);
  EXPECT_FALSE(fs::exists(s.import() / "b.old"));
  EXPECT_EQ(s.mouvement(0).poste(), 5);
}

}  // namespace
}  // namespace pontex::test

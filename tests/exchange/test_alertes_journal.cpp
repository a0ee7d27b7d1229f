// Journal lines that stand out: refused records, stops and refusals; never a movement.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pontex/exchange/alertes_journal.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using AlertesJournal = Echange;

TEST_F(AlertesJournal, SeulementLesEnregistrementsNonAppliquesEnVraiEchange) {
  applique("BOU-001\t2\nINCONNU\t-1.5\nEPI-002\t1e300\nEPI-002\t1\n\nEPI-004\t3");
  std::vector<std::string> alertes, autres;
  for (const std::string& l : b.fenetre.journal)
    (est_alerte_journal(l) ? alertes : autres).push_back(l);
  ASSERT_EQ(alertes.size() + autres.size(), b.fenetre.journal.size());
  // The unknown reference, the quantity no stock can hold, the empty record
  // and the last line without its line end; the two applied records not.
  EXPECT_EQ(alertes.size(), 4u) << ::testing::PrintToString(alertes);
  EXPECT_EQ(autres.size(), 2u) << ::testing::PrintToString(autres);
  for (const std::string& l : autres) EXPECT_EQ(l.find("Erreur"), std::string::npos) << l;
}

TEST(AlertesJournalTextes, ArretsEtRefusRessortentLeResteNon) {
  const char* alertes[] = {
      "Fichier non trait\xE9 : a.txt",
      "Fichier trop volumineux : b.txt",
      "Mouvement non enregistr\xE9 : BOU-001",
      "Reprise impossible : suivi de reprise illisible",
      "Reprise : article BOU-001 modifi\xE9 par la caisse depuis l'arr\xEAt, stock \xE0 "
      "v\xE9rifier, enregistrement 12",
      "Suivi de reprise non \351crit : analyse arr\xEAt\351e \xE0 l'enregistrement 7, reprise "
      "au prochain d\xE9marrage",
      "Export non \351crit : stock_20261205210709.txt",
      "Renommage refus\xE9, export \351crit directement : stock_20261205210709.txt",
      "Aucun article ne peut \xEAtre tir\xE9 : pas de fichier de ventes",
      "Le fichier journal ne peut pas \xEAtre \351crit : journal/pontex_2026-12-05.log",
      "1 x 2 x Erreur quantite : REF",  // the server's own " x " in the quantity
  };
  for (const char* l : alertes) EXPECT_TRUE(est_alerte_journal(l)) << l;
  const char* autres[] = {
      "D\xE9marrage",
      "Traitement : mvt.txt",
      "Reprise : mvt.txt \xE0 partir de l'enregistrement 12",
      "Mouvements r\xE9\351crits : 3",
      "Sauvegarde histo Sorties",
      "Export g\xE9n\xE9r\xE9",
      "2.00 x ERREUR REFERENCE : PAIN",  // a designation in the till's capitals
      "2.00 x PAIN Erreur stock : ",     // the alert words inside a designation
      "",
  };
  for (const char* l : autres) EXPECT_FALSE(est_alerte_journal(l)) << l;
  // A whole line of the window: stamp, " - ", message.
  EXPECT_TRUE(est_ligne_alerte_journal("05-12 21:07:09 - -1.50 x Erreur reference : INCONNU"));
  EXPECT_FALSE(est_ligne_alerte_journal("05-12 21:07:09 - 2.00 x PAIN"));
  EXPECT_FALSE(est_ligne_alerte_journal("Erreur reference : sans horodatage"));
}

}  // namespace
}  // namespace pontex::test

// Appending a movement to the cash register's movement file: the count in
// the header, the record's place, the header's other bytes, and the damaged
// headers that must not lead to a write anywhere.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pontex/data/caisse.h"
#include "tests/support/dossier_temporaire.h"
#include "tools/fabrique_caisse.h"

namespace pontex {
namespace {

using test::DossierTemporaire;
using test::ecrit_octets;
using test::lit_octets;

class Mouvements : public ::testing::Test {
 protected:
  DossierTemporaire dossier_;
  std::string base_ = dossier_.valeur_dossier();
  std::filesystem::path fichier_ = dossier_.chemin() / "W_CAIREC.WDO";
  Caisse caisse_{base_};

  static EnregistrementMouvement mouvement(const std::string& code) {
    EnregistrementMouvement m = EnregistrementMouvement::vierge();
    m.met_date("05-12-2026");
    m.met_heure("21:07");
    m.met_code(code);
    m.met_quantite(2.0f);
    m.met_origine("-Serv:vpc-");
    return m;
  }
};

TEST_F(Mouvements, PremierMouvementEnRecord2EtEnTeteA1) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 0));
  const std::string entete_avant = lit_octets(fichier_);
  std::int32_t numero = 0;
  ASSERT_TRUE(caisse_.ajoute_mouvement(mouvement("111"), &numero));
  EXPECT_EQ(numero, 1);
  const std::string apres = lit_octets(fichier_);
  ASSERT_EQ(apres.size(), 128u);
  // Header: only the count (bytes 48..51) changed.
  for (std::size_t i = 0; i < 64; ++i) {
    if (i < 48 || i >= 52) {
      EXPECT_EQ(apres[i], entete_avant[i]) << "header byte " << i;
    }
  }
  EXPECT_EQ(apres.substr(48, 4), std::string("\x01\x00\x00\x00", 4));
  const EnregistrementMouvement m = mouvement("111");
  EXPECT_EQ(apres.substr(64), std::string(reinterpret_cast<const char*>(m.octets.data()), 64));
}

// Movements follow each other, none lost or written twice at one place.
TEST_F(Mouvements, MouvementsSuccessifs) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 0));
  for (int i = 1; i <= 5; ++i) {
    std::int32_t numero = 0;
    ASSERT_TRUE(caisse_.ajoute_mouvement(mouvement("C" + std::to_string(i)), &numero));
    EXPECT_EQ(numero, i);
  }
  EnregistrementMouvement lu;
  ASSERT_TRUE(fabrique::lit_mouvement_dossier(base_, 0, lu));
  EXPECT_EQ(lu.poste(), 5);
  for (int i = 1; i <= 5; ++i) {
    ASSERT_TRUE(fabrique::lit_mouvement_dossier(base_, i, lu));
    EXPECT_EQ(lu.code(), "C" + std::to_string(i) + std::string(14 - std::to_string(i).size(), ' '));
  }
  EXPECT_EQ(lit_octets(fichier_).size(), 6u * 64);
}

// The count in the header rules, not the file's length: the cash-register
// program may have movements of its own beyond what we saw last time.
TEST_F(Mouvements, LeCompteDeLEnTeteDecideDeLaPlace) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 3));
  std::string octets = lit_octets(fichier_) + std::string(3 * 64, 'm');
  ecrit_octets(fichier_, octets);
  std::int32_t numero = 0;
  ASSERT_TRUE(caisse_.ajoute_mouvement(mouvement("X"), &numero));
  EXPECT_EQ(numero, 4);
  const std::string apres = lit_octets(fichier_);
  ASSERT_EQ(apres.size(), 5u * 64);
  EXPECT_EQ(apres.substr(64, 3 * 64), std::string(3 * 64, 'm'));
  EXPECT_EQ(apres.substr(4 * 64 + 15, 1), "X");
}

TEST_F(Mouvements, FichierAbsentOuVide) {
  std::int32_t numero = 0;
  ASSERT_TRUE(caisse_.ajoute_mouvement(mouvement("A"), &numero));
  EXPECT_EQ(numero, 1);
  const std::string octets = lit_octets(fichier_);
  ASSERT_EQ(octets.size(), 128u);
  // The new header is a blank record holding the count.
  EnregistrementMouvement entete = EnregistrementMouvement::vierge();
  entete.met_poste(1);
  EXPECT_EQ(octets.substr(0, 64),
            std::string(reinterpret_cast<const char*>(entete.octets.data()), 64));
}

// A damaged or unreadable header: nothing is written, the failure is
// reported.
TEST_F(Mouvements, EnTeteEndommageRefuse) {
  for (std::int32_t m : {-1, INT32_MIN, INT32_MAX, 1000000, 20}) {
    ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, m));
    const std::string avant = lit_octets(fichier_);
    std::int32_t numero = -7;
    EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X"), &numero)) << "M = " << m;
    EXPECT_EQ(numero, -7);
    EXPECT_EQ(lit_octets(fichier_), avant) << "M = " << m;
  }
  {
    test::EchecInjecte echec(
        [](Operation op, std::string_view) { return op == Operation::lecture; });
    const std::string avant = lit_octets(fichier_);
    EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X")));
    EXPECT_EQ(lit_octets(fichier_), avant);
  }
  // A few records of slack: the other program may be writing its own.
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 2));
  std::int32_t numero = 0;
  EXPECT_TRUE(caisse_.ajoute_mouvement(mouvement("X"), &numero));
  EXPECT_EQ(numero, 3);
}

// A record that cannot be written must not stay counted in the header.
TEST_F(Mouvements, EcritureRefuseeRemetLEnTete) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(base_, 0));
  const std::string avant = lit_octets(fichier_);
  int ecritures = 0;
  test::EchecInjecte echec([&](Operation op, std::string_view) {
    return op == Operation::ecriture && ++ecritures == 2;  // the movement record
  });
  EXPECT_FALSE(caisse_.ajoute_mouvement(mouvement("X")));
  EXPECT_EQ(lit_octets(fichier_), avant);
}

}  // namespace
}  // namespace pontex

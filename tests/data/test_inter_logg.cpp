// "W_intlog.wdo": the background choice survives restarts; damage never stops the start.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "pontex/data/inter_logg.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex {
namespace {

using test::DossierTemporaire;
using test::EchecInjecte;
using test::ecrit_octets;
using test::lit_octets;

// One 128-byte record as the store lays it out.
std::string record(std::string cle, std::string valeur, std::int32_t compte) {
  std::string r(128, ' ');
  r.replace(0, cle.size(), cle);
  r.replace(23, valeur.size(), valeur);
  const auto u = static_cast<std::uint32_t>(compte);
  for (int i = 0; i < 4; ++i) r[124 + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
  return r;
}

std::int32_t compte_entete() {
  const std::string o = lit_octets("W_intlog.wdo");
  if (o.size() < 128) return -999;
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(o[124 + i]);
  return static_cast<std::int32_t>(u);
}

std::string pad(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

TEST(InterLogg, MagasinAbsentLuVideEtCree) {
  DossierTemporaire d;
  EXPECT_EQ(lit_logg("POSIFEN"), "");
  EXPECT_EQ(lit_octets("W_intlog.wdo"), record("#INIT#", "", 0) + record("", "", 0));
}

TEST(InterLogg, OctetsDeLEntreeAuxBonsOffsets) {
  DossierTemporaire d;
  ASSERT_TRUE(ecrit_logg("POSIFEN", "OUI"));
  EXPECT_EQ(lit_octets("W_intlog.wdo"), record("#INIT#", "", 1) + record("POSIFEN", "OUI", 0));
  EXPECT_EQ(lit_logg("POSIFEN"), pad("OUI", 40));
  // Back to normal mode: the entry stays, its value is blanked.
  ASSERT_TRUE(ecrit_logg("POSIFEN", ""));
  EXPECT_EQ(lit_octets("W_intlog.wdo"), record("#INIT#", "", 1) + record("POSIFEN", "", 0));
  EXPECT_EQ(lit_logg("POSIFEN"), std::string(40, ' '));
}

TEST(InterLogg, ClesSansEspacesCoupeesEtEnMajuscules) {
  DossierTemporaire d;
  ASSERT_TRUE(ecrit_logg("POSIFEN", "1"));
  EXPECT_EQ(lit_logg("posifen"), pad("1", 40));
  EXPECT_EQ(lit_logg("  PosiFen  "), pad("1", 40));
  ASSERT_TRUE(ecrit_logg(" posifen", "2"));
  EXPECT_EQ(compte_entete(), 1);
  // Only the first 15 characters count.
  ASSERT_TRUE(ecrit_logg("ABCDEFGHIJKLMNOP", "A"));
  ASSERT_TRUE(ecrit_logg("abcdefghijklmnoQ", "B"));
  EXPECT_EQ(compte_entete(), 2);
  EXPECT_EQ(lit_logg("ABCDEFGHIJKLMNO"), pad("B", 40));
  // Accented letters of the ANSI code page have upper cases too.
  ASSERT_TRUE(ecrit_logg("\xe9t\xe9", "ete"));
  EXPECT_EQ(lit_logg("\xc9T\xc9"), pad("ete", 40));
  EXPECT_EQ(lit_octets("W_intlog.wdo").substr(3 * 128, 15), pad("\xc9T\xc9", 15));
  EXPECT_EQ(compte_entete(), 3);
  EXPECT_EQ(lit_logg("POSIFEN"), pad("2", 40));
}

TEST(InterLogg, ValeursCoupeesAQuaranteCaracteres) {
  DossierTemporaire d;
  const std::string longue = "0123456789012345678901234567890123456789ABCDEFGHIJ";
  ASSERT_TRUE(ecrit_logg("POSIFEN", longue));
  EXPECT_EQ(lit_logg("POSIFEN"), longue.substr(0, 40));
  // The cut must not spill into the reserved bytes.
  EXPECT_EQ(lit_octets("W_intlog.wdo").substr(128), record("POSIFEN", longue.substr(0, 40), 0));
}

TEST(InterLogg, EnregistrementsAuDelaDuCompteIgnores) {
  DossierTemporaire d;
  ecrit_octets("W_intlog.wdo",
               record("#INIT#", "", 1) + record("POSIFEN", "OUI", 0) + record("AUTRE", "X", 0));
  EXPECT_EQ(lit_logg("POSIFEN"), pad("OUI", 40));
  EXPECT_EQ(lit_logg("AUTRE"), "");
  ASSERT_TRUE(ecrit_logg("AUTRE", "Y"));
  EXPECT_EQ(compte_entete(), 2);
  EXPECT_EQ(lit_octets("W_intlog.wdo").substr(256), record("AUTRE", "Y", 0));
}

TEST(InterLogg, EnTeteEtrangerOuEndommageReinitialise) {
  DossierTemporaire d;
  const std::string entree = record("POSIFEN", "OUI", 0);
  const std::string entetes[] = {
      std::string(300, 'x'),            // another program's file
      record("AUTRE", "", 1) + entree,  // no "#INIT#"
      record("#INIT#", "", -1) + entree,
      record("#INIT#", "", 32767) + entree,  // cannot be raised by one
      record("#INIT#", "", 2'000'000'000) + entree,
  };
  for (const auto& contenu : entetes) {
    ecrit_octets("W_intlog.wdo", contenu);
    EXPECT_EQ(lit_logg("POSIFEN"), "");
    EXPECT_EQ(lit_octets("W_intlog.wdo").substr(0, 128), record("#INIT#", "", 0));
    EXPECT_LE(std::filesystem::file_size("W_intlog.wdo"), 512u);
    ASSERT_TRUE(ecrit_logg("POSIFEN", "OUI"));
    EXPECT_EQ(lit_logg("POSIFEN"), pad("OUI", 40));
    EXPECT_EQ(compte_entete(), 1);
  }
}

TEST(InterLogg, CompteAuDelaDuFichierSArreteASesEnregistrements) {
  DossierTemporaire d;
  ecrit_octets("W_intlog.wdo", record("#INIT#", "", 30000) + record("POSIFEN", "OUI", 0));
  const auto avant = compteurs_es().lectures;
  EXPECT_EQ(lit_logg("POSIFEN"), pad("OUI", 40));
  EXPECT_EQ(lit_logg("AUTRE"), "");
  EXPECT_LE(compteurs_es().lectures - avant, 10u);
  EXPECT_TRUE(ecrit_logg("POSIFEN", "NON"));
  // A new entry would go megabytes past the end: refused, and the count
  // is not raised for an entry that was never written.
  EXPECT_FALSE(ecrit_logg("AUTRE", "X"));
  EXPECT_EQ(compte_entete(), 30000);
  EXPECT_EQ(lit_octets("W_intlog.wdo").size(), 256u);
  EXPECT_EQ(lit_logg("POSIFEN"), pad("NON", 40));
}

TEST(InterLogg, MagasinPleinRefuseUneNouvelleCle) {
  DossierTemporaire d;
  // 32,766 entries, all in the file: one more could not be counted, and
  // the store would read as damaged at the next start.
  ecrit_octets("W_intlog.wdo", record("#INIT#", "", 32766) + record("POSIFEN", "OUI", 0));
  std::filesystem::resize_file("W_intlog.wdo", 32767 * 128);
  EXPECT_FALSE(ecrit_logg("AUTRE", "X"));
  EXPECT_EQ(compte_entete(), 32766);
  EXPECT_EQ(std::filesystem::file_size("W_intlog.wdo"), 32767u * 128);
  EXPECT_TRUE(ecrit_logg("POSIFEN", ""));
  EXPECT_EQ(lit_logg("POSIFEN"), std::string(40, ' '));
}

TEST(InterLogg, MagasinInutilisableLuVideEtEcrituresSignalees) {
  DossierTemporaire d;
  ASSERT_TRUE(ecrit_logg("POSIFEN", "OUI"));
  const std::string avant = lit_octets("W_intlog.wdo");
  for (Operation op : {Operation::ouverture, Operation::lecture, Operation::ecriture}) {
    EchecInjecte echec([op](Operation o, std::string_view) { return o == op; });
    // Reading needs no write.
    EXPECT_EQ(lit_logg("POSIFEN"), op == Operation::ecriture ? pad("OUI", 40) : "")
        << static_cast<int>(op);
    EXPECT_FALSE(ecrit_logg("POSIFEN", "NON")) << static_cast<int>(op);
    EXPECT_FALSE(ecrit_logg("AUTRE", "NON")) << static_cast<int>(op);
  }
  EXPECT_EQ(lit_octets("W_intlog.wdo"), avant);
  // A missing store that cannot be created or written.
  std::filesystem::remove("W_intlog.wdo");
  {
    EchecInjecte echec([](Operation o, std::string_view) { return o == Operation::ecriture; });
    EXPECT_EQ(lit_logg("POSIFEN"), "");
    EXPECT_FALSE(ecrit_logg("POSIFEN", "OUI"));
  }
  // A folder where the store should be.
  std::filesystem::remove("W_intlog.wdo");
  std::filesystem::create_directory("W_intlog.wdo");
  EXPECT_EQ(lit_logg("POSIFEN"), "");
  EXPECT_FALSE(ecrit_logg("POSIFEN", "OUI"));
}

}  // namespace
}  // namespace pontex

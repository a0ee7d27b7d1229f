// "Pontex.wdo": a wrong folder or prefix sends every movement and export astray.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pontex/data/configuration.h"
#include "pontex/shared/encodage.h"
#include "tests/support/dossier_temporaire.h"

namespace pontex {
namespace {

using test::DossierTemporaire;
using test::ecrit_octets;
using namespace std::string_literals;

Configuration lue(std::string_view texte) {
  Configuration c;
  applique_texte_configuration(texte, c);
  return c;
}

TEST(Configuration, FichierTypiqueDeLaFenetreDeParametrage) {
  DossierTemporaire d;
  // Saved by the settings window (CR LF), one line touched by a Linux editor.
  ecrit_octets("Pontex.wdo",
               "#TRANSIT#C:\\Transit|dossier d'\351change\r\n#FICBASE#C:\\Caisse\\Donn\351es\\\n"
               "#REFARTI#1\r\n#NOM_STO#stock_\r\n#NOM_MVT#mvt_\r\n#NUMPOST#3\r\n#UTILISA#12\r\n"
               "#REP_STO#stock\r\n#REP_MVT#mouvements\r\n#TIM_ANA#30\r\n");
  Configuration c;
  ASSERT_TRUE(charge_configuration(c));
  EXPECT_EQ(c.transit, "C:\\Transit\\");
  EXPECT_EQ(c.ficbase, "C:\\Caisse\\Donn\351es\\");
  EXPECT_TRUE(c.ficbase_lu);
  EXPECT_EQ(c.refarti, 1);
  EXPECT_EQ(c.nom_sto, "stock_");
  EXPECT_EQ(c.nom_mvt, "mvt_");
  EXPECT_EQ(c.numpost, "3");
  EXPECT_EQ(c.utilisa, "12");
  EXPECT_EQ(c.rep_sto, "stock");
  EXPECT_EQ(c.rep_mvt, "mouvements");
  EXPECT_EQ(c.tim_ana, "30");
}

TEST(Configuration, ChaqueFinDeLigneFinitUneLigne) {
  // Saved by a Linux editor (LF), by an old Mac editor (CR), or mixed: every
  // key must be seen, and no LF may end up inside a folder name.
  for (const char* fin : {"\n", "\r", "\r\n"}) {
    const std::string f = fin;
    const Configuration c =
        lue("#TRANSIT#/srv/transit" + f + "#NOM_STO#stock_" + f + "#TIM_ANA#5" + f);
    EXPECT_EQ(c.transit, "/srv/transit\\");
    EXPECT_EQ(c.nom_sto, "stock_");
    EXPECT_EQ(c.tim_ana, "5");
  }
  const Configuration m = lue("#NUMPOST#1\n\r#UTILISA#2\r\n\n#TIM_ANA#9");
  EXPECT_EQ(m.numpost, "1");
  EXPECT_EQ(m.utilisa, "2");
  EXPECT_EQ(m.tim_ana, "9");  // last line without line end
}

TEST(Configuration, LesDossiersFinissentParUnSeulAntislash) {
  EXPECT_EQ(lue("#TRANSIT#C:\\T").transit, "C:\\T\\");
  EXPECT_EQ(lue("#TRANSIT#C:\\T\\").transit, "C:\\T\\");
  EXPECT_EQ(lue("#TRANSIT#").transit, "\\");
  EXPECT_EQ(lue("#TRANSIT# C:\\T ").transit, " C:\\T \\");  // raw when no comment
  const Configuration avec = lue("#FICBASE#C:\\Caisse  | le dossier de la caisse");
  EXPECT_EQ(avec.ficbase, "C:\\Caisse\\");
  EXPECT_TRUE(avec.ficbase_lu);
  EXPECT_EQ(lue("#FICBASE#C:\\Caisse  ").ficbase, "C:\\Caisse  \\");
  EXPECT_FALSE(lue("#TRANSIT#C:\\T").ficbase_lu);
  EXPECT_EQ(lue("#TRANSIT#C:\\T").ficbase, "");
}

TEST(Configuration, LesTextesPerdentSeulementLeursEspaces) {
  EXPECT_EQ(lue("#NOM_STO#  stock_  ").nom_sto, "stock_");
  EXPECT_EQ(lue("#TIM_ANA#\t5\t  |x").tim_ana, "\t5\t");
  EXPECT_EQ(lue("#NUMPOST#").numpost, "");
  EXPECT_EQ(lue("#NUMPOST#12\r\n#NUMPOST#").numpost, "");  // last line wins
  EXPECT_EQ(lue("#UTILISA#1\r\n#UTILISA#2\r\n").utilisa, "2");
}

TEST(Configuration, LaCleEstExactementLesNeufPremiersCaracteres) {
  EXPECT_EQ(lue("#nom_sto#stock_").nom_sto, "");
  EXPECT_EQ(lue(" #NOM_STO#stock_").nom_sto, "");
  // With a comment the line is trimmed first, so the key is found.
  EXPECT_EQ(lue("  #NOM_STO#stock_ | export").nom_sto, "stock_");
  EXPECT_EQ(lue("#NOM_STO").nom_sto, "");
  EXPECT_EQ(lue("#NOM_STO#|#NUMPOST#4").nom_sto, "");
  EXPECT_EQ(lue("#NOM_STO#|#NUMPOST#4").numpost, "");
  EXPECT_EQ(lue("#INCONNU#x\r\n| commentaire\r\n\r\n").nom_sto, "");
}

TEST(Configuration, LeModeDeReferenceEntierMoitiesVersLePair) {
  struct Cas {
    std::string valeur;
    int attendu;
  };
  const Cas cas[] = {{" 1", 1},  {"2.5", 2}, {"3.5", 4},   {"-2.5", -2},       {"abc", 0},
                     {"", 0},    {"1,9", 1}, {"&H10", 16}, {"-32768", -32768}, {"32767.4", 32767},
                     {"1 0", 10}};
  for (const auto& c : cas) EXPECT_EQ(lue("#REFARTI#" + c.valeur).refarti, c.attendu) << c.valeur;
  // Out of range or unreadable: the value held before stays.
  for (const char* hors : {"32768", "-32769", "1e400", "&HFFFF", "32767.5"}) {
    EXPECT_EQ(lue(std::string("#REFARTI#7\r\n#REFARTI#") + hors).refarti, 7) << hors;
  }
}

TEST(Configuration, FichierAbsentOuVideLaisseLesDefauts) {
  DossierTemporaire d;
  Configuration c;
  EXPECT_FALSE(charge_configuration(c));
  for (const char* texte : {"| seulement des commentaires\r\n|\r\n", ""}) {
    ecrit_octets("Pontex.wdo", texte);
    EXPECT_TRUE(charge_configuration(c));
  }
  EXPECT_EQ(c.transit, "");
  EXPECT_EQ(c.tim_ana, "");
  EXPECT_EQ(c.refarti, 0);
  EXPECT_FALSE(c.ficbase_lu);
}

TEST(Configuration, DechetsEtLignesEnormesNArretentPasLaLecture) {
  DossierTemporaire d;
  std::mt19937 alea(42);
  std::string dechets(200'000, '\0');
  for (char& ch : dechets) ch = static_cast<char>(alea());
  // Bytes that stop C strings, a 1 MB line, then real settings.
  const std::string texte = dechets + "\r\n#NOM_STO#" + std::string(1 << 20, 'x') +
                            "\r\n\0\0#TIM_ANA#\0\r\n#NUMPOST#7\r\n#UTILISA#\0"s + "5\r\n";
  ecrit_octets("Pontex.wdo", texte);
  Configuration c;
  ASSERT_TRUE(charge_configuration(c));
  EXPECT_EQ(c.nom_sto.size(), std::size_t{1} << 20);
  EXPECT_EQ(c.numpost, "7");
  EXPECT_EQ(c.utilisa, "\0"s + "5");
}

// UTF-8 or Windows-1252, an accented folder names the same folder.
TEST(Configuration, FichierUtf8OuWindows1252MemesValeurs) {
  const auto charge = [](const std::string& octets) {
    DossierTemporaire d;
    ecrit_octets("Pontex.wdo", octets);
    Configuration c;
    EXPECT_TRUE(charge_configuration(c));
    return c;
  };
  const Configuration utf8 =
      charge("#FICBASE#/srv/Donn\303\251es | caisse \342\202\254\n#NOM_STO#\305\223uvre_\n");
  EXPECT_EQ(utf8.ficbase, "/srv/Donn\351es\\");
  EXPECT_EQ(utf8.nom_sto, "\234uvre_");  // "œ" has its own Windows-1252 byte
  const Configuration cp1252 = charge("#FICBASE#/srv/Donn\351es | caisse\r\n");
  EXPECT_EQ(cp1252.ficbase, "/srv/Donn\351es\\");
  // Windows-1252 bytes that happen to form a UTF-8 pair are rare but possible ("Ã©"); one byte that
  // does not fit keeps the whole file in Windows-1252.
  const Configuration melange = charge("#NOM_STO#\303\251\r\n#NOM_MVT#\351\r\n");
  EXPECT_EQ(melange.nom_sto, "\303\251");
  EXPECT_EQ(melange.nom_mvt, "\351");
  // A character Windows-1252 has no byte for becomes "?".
  EXPECT_EQ(charge("#NOM_STO#\316\251_\303\251\n").nom_sto, "?_\351");
  // A byte order mark before the first key, with or without accents after.
  EXPECT_EQ(charge("\357\273\277#TRANSIT#C:\\T\r\n").transit, "C:\\T\\");
  EXPECT_EQ(charge("\357\273\277#TRANSIT#C:\\\303\251\r\n").transit, "C:\\\351\\");
}

TEST(Configuration, Utf8ReconnuSeulementValideEtPasAsciiSimple) {
  EXPECT_FALSE(est_utf8_etendu("#TRANSIT#C:\\Transit"));
  EXPECT_TRUE(est_utf8_etendu("Donn\303\251es"));
  EXPECT_FALSE(est_utf8_etendu("Donn\351es"));
  EXPECT_FALSE(est_utf8_etendu("\303"));              // cut short
  EXPECT_FALSE(est_utf8_etendu("\300\251"));          // overlong
  EXPECT_FALSE(est_utf8_etendu("\355\240\200"));      // surrogate
  EXPECT_FALSE(est_utf8_etendu("\364\220\200\200"));  // beyond U+10FFFF
  EXPECT_TRUE(est_utf8_etendu("\360\237\230\200"));
}

TEST(Configuration, FichierIllisibleSignaleEtRienNeChange) {
  DossierTemporaire d;
  ecrit_octets("Pontex.wdo", "#NOM_STO#stock_\r\n");
  test::EchecInjecte echec([](Operation, std::string_view) { return true; });
  Configuration c;
  EXPECT_FALSE(charge_configuration(c));
  EXPECT_EQ(c.nom_sto, "");
}

}  // namespace
}  // namespace pontex

// Movement text from the server: UTF-8 or Windows-1252, BOM, decimal comma, long lines.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/lecteur_analyse.h"
#include "pontex/shared/encodage.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

// An accented reference, and "?-0001" that a lost character must never land on.
std::vector<fabrique::DescriptionArticle> articles_accents() {
  auto a = articles_boutique();
  a[1].reference_alternative = "CAF\xC9-0001";
  a[2].reference_alternative = "?-0001";
  return a;
}

struct Resultats {
  Lignes journal;
  std::string erreurs, articles, mouvements;
};

Resultats applique_dans_une_boutique(const std::string& contenu) {
  Boutique b;
  b.ecrit_caisse(articles_accents());
  b.ecrit_analyse(contenu);
  applique_analyse(b.valeurs, b.fenetre);
  EXPECT_FALSE(fs::exists(b.dossier.chemin() / "prov_stk_ana_ron.txt"));
  return {b.fenetre.journal, lit_octets(b.fichier_erreurs()),
          lit_octets(b.caisse() / "w_caiar4.wdo"), lit_octets(b.caisse() / "W_CAIREC.WDO")};
}

// É, é, À and € in each encoding (€ is 0x80 in Windows-1252).
TEST(FichierMouvements, Utf8EtWindows1252MemesMouvementsJournalEtFichierErreur) {
  const Resultats w = applique_dans_une_boutique(
      "CAF\xC9-0001\t2\ncaf\xE9-0001\t-1\nPAT\xC9 \xC0 L'AIL\t1\n\x80-PROMO\t3\n"
      " CAF\xC9-0001\t4\n");
  const Resultats u = applique_dans_une_boutique(
      "CAF\xC3\x89-0001\t2\ncaf\xC3\xA9-0001\t-1\nPAT\xC3\x89 \xC3\x80 L'AIL\t1\n"
      "\xE2\x82\xAC-PROMO\t3\n CAF\xC3\x89-0001\t4\n");
  // A leading space stays part of the reference and matches nothing.
  EXPECT_EQ(u.journal,
            (Lignes{ligne_cafe("2.00"), ligne_cafe("-1.00"),
                    "1.00 x Erreur reference : PAT\xC9 \xC0 L'AIL (prov_stk_ana_ron.txt, ligne 3)",
                    "3.00 x Erreur reference : \x80-PROMO (prov_stk_ana_ron.txt, ligne 4)",
                    "4.00 x Erreur reference :  CAF\xC9-0001 (prov_stk_ana_ron.txt, ligne 5)"}));
  EXPECT_EQ(u.erreurs,
            "Erreur reference : PAT\xC9 \xC0 L'AIL 1 \r\n"
            "Erreur reference : \x80-PROMO 3 \r\n"
            "Erreur reference :  CAF\xC9-0001 4 \r\n");
  EXPECT_EQ(u.journal, w.journal);
  EXPECT_EQ(u.erreurs, w.erreurs);
  EXPECT_EQ(u.articles, w.articles);
  EXPECT_EQ(u.mouvements, w.mouvements);
}

// A UTF-8 byte order mark is never part of the first reference.
TEST(FichierMouvements, UneMarqueDOrdreDesOctetsEstSautee) {
  const std::string marque = "\xEF\xBB\xBF";
  EXPECT_EQ(applique_dans_une_boutique(marque + "CAF\xC3\x89-0001\t2\n").journal,
            Lignes{ligne_cafe("2.00")});
  EXPECT_EQ(applique_dans_une_boutique(marque + "BOU-001\t1\n").journal,
            Lignes{ligne_pain("1.00")});
  const Resultats r = applique_dans_une_boutique(marque + "BOU-001\t1\nPAT\xC9\t1\n");
  EXPECT_EQ(r.journal,
            (Lignes{ligne_pain("1.00"),
                    "1.00 x Erreur reference : PAT\xC9 (prov_stk_ana_ron.txt, ligne 2)"}));
  EXPECT_EQ(r.erreurs, "Erreur reference : PAT\xC9 1 \r\n");
}

// A character Windows-1252 lacks becomes "?" and its record is refused, never looked up.
TEST_F(Echange, UneReferenceAvecUnCaractereHorsCaisseNEstPasAppliquee) {
  b.ecrit_caisse(articles_accents());
  applique("\xE2\x98\x95-0001\t1\nCAF\xC3\x89-0001\t1\t\xE2\x98\x95 offert\n\xF0\x9F\x8D\x9E\t2\n");
  EXPECT_EQ(erreurs(), "Erreur caractere : ?-0001 1 \r\nErreur caractere : ? 2 \r\n");
  EXPECT_EQ(
      b.fenetre.journal,
      (Lignes{"1.00 x Erreur caractere : ?-0001 (prov_stk_ana_ron.txt, ligne 1)",
              ligne_cafe("1.00"), "2.00 x Erreur caractere : ? (prov_stk_ana_ron.txt, ligne 3)"}));
  EXPECT_EQ(b.article(3).octets, b.originaux[2].octets);
  EXPECT_EQ(b.mouvement(0).poste(), 1);
  // In a Windows-1252 file "?" is a character like another.
  b.fenetre.journal.clear();
  applique("?-0001\t1\n");
  EXPECT_EQ(b.article(3).stock(), -1.0f);
}

// "1,5" would silently read as 1: refused. A comma that loses nothing ("2,", "2,00", the sales
// generator's lines on a French workstation) reads 2. A comma with no digit before it is no number.
TEST_F(Echange, UneVirguleDecimaleEstRefuseePasLueCommeSaPartieEntiere) {
  applique(
      "BOU-001\t1,5\nBOU-001\t1.5\nEPI-002\t-0,25\t\nEPI-002\t1 000,50\nEPI-002\t2,\n"
      "EPI-002\t2,00\t\r\nEPI-002\t1,0 5\nEPI-002\t1.,5\nEPI-002\t,5\nEPI-002\t2\t1,5\n");
  EXPECT_EQ(erreurs(),
            "Erreur virgule : BOU-001 1,5 \r\n"
            "Erreur virgule : EPI-002 -0,25 \r\n"
            "Erreur virgule : EPI-002 1 000,50 \r\n"
            "Erreur virgule : EPI-002 1,0 5 \r\n"
            "Erreur virgule : EPI-002 1.,5 \r\n"
            "Erreur quantite : EPI-002 ,5 \r\n"
            "Erreur quantite : EPI-002 2\t1,5 \r\n");
  EXPECT_EQ(
      b.fenetre.journal,
      (Lignes{"1,5 x Erreur virgule : BOU-001 (prov_stk_ana_ron.txt, ligne 1)", ligne_pain("1.50"),
              "-0,25 x Erreur virgule : EPI-002 (prov_stk_ana_ron.txt, ligne 3)",
              "1 000,50 x Erreur virgule : EPI-002 (prov_stk_ana_ron.txt, ligne 4)",
              ligne_cafe("2.00"), ligne_cafe("2.00"),
              "1,0 5 x Erreur virgule : EPI-002 (prov_stk_ana_ron.txt, ligne 7)",
              "1.,5 x Erreur virgule : EPI-002 (prov_stk_ana_ron.txt, ligne 8)",
              ",5 x Erreur quantite : EPI-002 (prov_stk_ana_ron.txt, ligne 9)",
              "2\t1,5 x Erreur quantite : EPI-002 (prov_stk_ana_ron.txt, ligne 10)"}));
  EXPECT_EQ(b.article(1).stock(), 11.5f);
  EXPECT_EQ(b.article(2).stock(), 6.5f);
  EXPECT_EQ(b.mouvement(0).poste(), 3);
}

// A UTF-8 file stopped half-way is taken up as UTF-8 (the whole file's encoding).
TEST_F(Echange, UnFichierUtf8RepriseResteLuEnUtf8) {
  b.ecrit_caisse(articles_accents());
  {
    const EchecInjecte echec(
        [](Operation, std::string_view chemin) { return chemin.ends_with(".err"); });
    applique("CAF\xC3\x89-0001\t1\nX\xC3\x89\t1\ncaf\xC3\xA9-0001\t2\n");
  }
  EXPECT_TRUE(analyse_presente());
  EXPECT_EQ(reprend(), (Lignes{"Reprise : prov_stk_ana_ron.txt \xE0 partir de l'enregistrement 2",
                               "1.00 x Erreur reference : X\xC9 (prov_stk_ana_ron.txt, ligne 2)",
                               ligne_cafe("2.00")}));
  EXPECT_EQ(erreurs(), "Erreur reference : X\xC9 1 \r\n");
  EXPECT_EQ(b.article(2).stock(), 5.5f);
}

std::vector<std::string> lignes_lues(const std::string& chemin, std::int64_t depuis = 0) {
  LecteurAnalyse l;
  EXPECT_TRUE(l.ouvre(chemin, depuis).ok());
  std::vector<std::string> r;
  LigneAnalyse ligne;
  while (l.suivante(ligne))
    r.push_back(std::to_string(static_cast<int>(ligne.sorte)) + ":" + std::string(ligne.texte));
  return r;
}

// The encoding is the whole file's, even across blocks and from any start position.
TEST(LecteurAnalyse, EncodageDuFichierEntierOuQueCommenceLaLecture) {
  DossierTemporaire d;
  std::string texte;
  while (texte.size() + 4 <= LecteurAnalyse::taille_bloc - 3) texte += "A\t0\n";
  texte += std::string(LecteurAnalyse::taille_bloc - 1 - texte.size(), 'B');
  texte += "\xC3\x89\t0\n";  // straddles the first two blocks
  ecrit_octets(d.chemin() / "u.txt", texte);
  EXPECT_EQ(lignes_lues("u.txt").back(), "0:BBB\xC9\t0");
  // In a Windows-1252 file, "Ã‰" is two characters, read from anywhere.
  ecrit_octets(d.chemin() / "w.txt", "PAT\xC9\t1\nCAF\xC3\x89\t1\n");
  EXPECT_EQ(lignes_lues("w.txt", 7), Lignes{"0:CAF\xC3\x89\t1"});
  // The same question asked a byte at a time.
  DetectionUtf8 morceaux;
  for (const char c : std::string("x\xF0\x9F\x98\x80y")) morceaux.ajoute(std::string_view(&c, 1));
  EXPECT_TRUE(morceaux.utf8_etendu());
}

// A record is at most longueur_max bytes, wherever the read blocks fall.
TEST(LecteurAnalyse, LeRecordLePlusLongEstLeMemeOuQueSoitLaLigne) {
  DossierTemporaire d;
  const std::size_t max = LecteurAnalyse::longueur_max;
  ecrit_octets(d.chemin() / "l.txt",
               std::string(max - 2, 'R') + "\t1\n" + std::string(max - 1, 'S') + "\t1\n");
  const auto lignes = lignes_lues("l.txt");
  ASSERT_EQ(lignes.size(), 2u);
  EXPECT_EQ(lignes[0].size(), 2 + max);
  EXPECT_EQ(lignes[0].substr(0, 3), "0:R");
  EXPECT_EQ(lignes[1], "2:" + std::string(LecteurAnalyse::debut_montre, 'S'));
}

}  // namespace
}  // namespace pontex::test

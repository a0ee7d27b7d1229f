// Applying a working file: records, error lines, nothing lost or doubled, field limits.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "pontex/exchange/depart_analyse.h"
#include "pontex/exchange/echange.h"
#include "pontex/exchange/groupes.h"
#include "pontex/exchange/lecteur_analyse.h"
#include "pontex/exchange/mouvement.h"
#include "pontex/exchange/texte_mouvements.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

using Analyse = Echange;

std::vector<std::string> records(std::string_view texte) {
  std::vector<std::string> r;
  for (const auto& rec : decoupe_records(texte))
    r.push_back(std::string(rec.reference) + "|" + std::string(rec.texte_quantite));
  return r;
}

using V = std::vector<std::string>;

// What a start does with what it finds. A wrong row applies a file twice (a finished or
// half-applied one from its first record), loses one (a taken file dropped, another file's
// progress trusted), or sets aside a file that the exchange could have applied.
TEST(DecideDepart, ChaqueSituationSonAction) {
  using A = EtatReprise::Attente;
  using D = Decision;
  using L = LectureReprise;
  using T = SituationDepart::Travail;
  constexpr auto B = Depart::bouton, R = Depart::reprise, I = Depart::import;
  constexpr auto nul = std::optional<IssuePrise>{};
  struct Cas {
    Depart depart;
    L lecture;
    A attente;
    bool present;
    std::optional<IssuePrise> prise;
    T travail;
    bool meme;  // the working file's size and digest are those noted
    D attendue;
  };
  const Cas cas[] = {
      {R, L::lue, A::termine, true, nul, T::non_lu, true, D::note_finie},
      {R, L::lue, A::termine, false, nul, T::non_lu, true, D::note_finie},
      {R, L::lue, A::prise, true, nul, T::non_lu, true, D::regle_prise},
      {R, L::lue, A::prise, true, IssuePrise::fini, T::lu, true, D::rien},
      {R, L::lue, A::prise, true, IssuePrise::en_attente, T::non_lu, true, D::attend},
      {R, L::lue, A::prise, true, IssuePrise::a_appliquer, T::lu, false, D::applique},
      {R, L::lue, A::prise, true, IssuePrise::a_appliquer, T::non_lu, false, D::lit_travail},
      {R, L::illisible, A::rien, true, nul, T::non_lu, true, D::met_de_cote_illisible},
      {B, L::illisible, A::rien, false, nul, T::non_lu, true, D::met_de_cote_illisible},
      {R, L::absente, A::rien, true, nul, T::non_lu, true, D::met_de_cote_sans_suivi},
      {B, L::absente, A::rien, true, nul, T::non_lu, true, D::lit_travail},
      {B, L::absente, A::rien, true, nul, T::lu, true, D::applique},
      {B, L::absente, A::rien, true, nul, T::illisible, true, D::attend},
      {R, L::absente, A::rien, false, nul, T::non_lu, true, D::rien},
      {R, L::lue, A::article, true, nul, T::non_lu, true, D::lit_travail},
      {R, L::lue, A::article, true, nul, T::lu, true, D::reprend},
      {B, L::lue, A::ligne_erreur, true, nul, T::lu, true, D::reprend},
      {R, L::lue, A::rien, true, nul, T::lu, false, D::regle_puis_met_de_cote},
      {R, L::lue, A::rien, false, nul, T::non_lu, false, D::regle_puis_met_de_cote},
      {R, L::lue, A::article, true, nul, T::illisible, true, D::attend},
      // A file just copied starts afresh, whatever a progress file says.
      {I, L::lue, A::termine, true, nul, T::lu, true, D::applique},
      {I, L::lue, A::article, true, nul, T::lu, true, D::applique},
      {I, L::illisible, A::rien, true, nul, T::lu, false, D::applique},
      {I, L::absente, A::rien, false, nul, T::non_lu, false, D::rien},
  };
  for (const Cas& c : cas) {
    SituationDepart s;
    s.depart = c.depart;
    s.lecture = c.lecture;
    s.attente = c.attente;
    s.present = c.present;
    s.prise = c.prise;
    s.travail = c.travail;
    s.taille_notee = 40;
    s.empreinte_notee = 7;
    s.taille = 40;
    s.empreinte = c.meme ? 7 : 8;
    EXPECT_EQ(decide_depart(s), c.attendue) << &c - cas;
  }
}

// A record lost or split here is a stock movement lost or applied wrong.
TEST(DecoupeRecords, TouteFinDeLigneFinitUnRecordLInacheveAttend) {
  EXPECT_EQ(records("A\t1\nB\t2\t\r\nC\t3\rD\t4\r\n"), (V{"A|1", "B|2\t", "C|3", "D|4"}));
  // CR CR LF: a lone CR, then a CR LF around an empty record.
  EXPECT_EQ(records("A\t1\r\r\n\nB"), (V{"A|1", "|", "|"}));
  EXPECT_EQ(records("B\t2"), V{});
  EXPECT_EQ(records("A\t1\t7 x\tB\nnotab\n"), (V{"A|1\t7 x\tB", "notab|"}));
}

// A CR LF split over two blocks is one line end; positions are where a resume starts.
TEST(LecteurAnalyse, LignesEtPositionsAuFilDesBlocsEtDepuisUnePosition) {
  DossierTemporaire d;
  std::string texte = "A\t1\n";
  texte += std::string(LecteurAnalyse::taille_bloc - texte.size() - 1, 'B') + "\r\n";
  texte += "C\t2\rD\t3";
  ecrit_octets(d.chemin() / "w.txt", texte);
  const auto lit = [](std::int64_t depuis) {
    LecteurAnalyse l;
    EXPECT_TRUE(l.ouvre("w.txt", depuis).ok());
    std::vector<std::string> lignes;
    LigneAnalyse ligne;
    while (l.suivante(ligne))
      lignes.push_back(std::to_string(static_cast<int>(ligne.sorte)) + ":" +
                       std::to_string(ligne.debut) + "-" + std::to_string(ligne.suivante) + ":" +
                       std::string(ligne.texte.substr(0, 3)));
    return lignes;
  };
  const std::string b = std::to_string(LecteurAnalyse::taille_bloc + 1);
  const std::string c = std::to_string(LecteurAnalyse::taille_bloc + 5);
  EXPECT_EQ(lit(0), (V{"0:0-4:A\t1", "0:4-" + b + ":BBB", "0:" + b + "-" + c + ":C\t2",
                       "1:" + c + "-" + std::to_string(texte.size()) + ":D\t3"}));
  EXPECT_EQ(lit(std::stoll(b)), (V{"0:" + b + "-" + c + ":C\t2",
                                   "1:" + c + "-" + std::to_string(texte.size()) + ":D\t3"}));
}

TEST(NumerosMouvement, MoitiesVersLePairEtZeroSiTropGrandPourLeChamp) {
  Boutique b;
  struct Cas {
    const char* texte;
    std::int32_t poste;
    std::int16_t utilisateur;
  };
  const Cas cas[] = {
      {"2.5", 2, 2},    {"3.5", 4, 4},       {"-2.5", -2, -2},           {"abc", 0, 0},
      {"&H10", 16, 16}, {"32768", 32768, 0}, {"-32768", -32768, -32768}, {"2147483648", 0, 0},
      {"1e400", 0, 0}};
  for (const Cas& c : cas) {
    b.valeurs.config.numpost = c.texte;
    b.valeurs.config.utilisa = c.texte;
    EXPECT_EQ(numero_poste(b.valeurs), c.poste) << c.texte;
    EXPECT_EQ(numero_utilisateur(b.valeurs), c.utilisateur) << c.texte;
  }
}

// One movement applied to article k, as the working file's step does.
class Mouvement : public Echange {
 protected:
  bool applique(std::int32_t k, double quantite) {
    std::int32_t n = 0;
    EXPECT_TRUE(b.valeurs.caisse.ouvre_articles(n).ok());
    const MouvementEcrit fait = ecrit_mouvement(b.valeurs, b.fenetre, k, quantite);
    b.valeurs.caisse.ferme_articles();
    return fait.issue == MouvementEcrit::Issue::applique;
  }
};

// A stock that cannot take the quantity stays, no movement, an error line; the rest applies.
TEST_F(Echange, UnStockQuiNePeutPrendreLeMouvementNiChangeNiNote) {
  auto articles = articles_boutique();
  articles[0].stock = 3.0e38f;
  articles[1].stock = std::numeric_limits<float>::quiet_NaN();
  b.ecrit_caisse(articles);
  applique("BOU-001\t1e38\nEPI-002\t5\nEPI-004\t2\n");
  EXPECT_EQ(b.article(1).octets, b.originaux[0].octets);
  EXPECT_EQ(b.article(2).octets, b.originaux[1].octets);
  EXPECT_EQ(b.article(4).stock(), 3.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 1);
  EXPECT_EQ(b.mouvement(1).code(), b.article(4).code());
  EXPECT_EQ(erreurs(), "Erreur stock : BOU-001 1E+38 \r\nErreur stock : EPI-002 5 \r\n");
}

TEST_F(Mouvement, EnTeteDeMouvementsEndommageGardeLeStockEtLeDit) {
  ASSERT_TRUE(fabrique::ecrit_mouvements_vides(b.dossier_caisse(), 1'000'000).ok());
  const std::string avant = lit_octets(b.caisse() / "W_CAIREC.WDO");
  EXPECT_TRUE(applique(1, 2));
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO"), avant);
  EXPECT_EQ(b.fenetre.journal,
            (std::vector<std::string>{ligne_pain("2.00"),
                                      "Mouvement non enregistr\xE9 : 1000000000001"}));
}

// Each movement carries the date and time it was applied at: a later hour
// or day with the same minute is not the earlier one's.
TEST_F(Mouvement, DateEtHeureDeChaqueMouvementAuMomentOuIlEstApplique) {
  const DateHeure moments[] = {{2026, 12, 5, 21, 7, 9},
                               {2026, 12, 5, 21, 7, 59},
                               {2026, 12, 5, 22, 7, 0},
                               {2026, 12, 6, 22, 7, 0},
                               {2027, 1, 6, 22, 8, 0}};
  for (const DateHeure& m : moments) {
    b.horloge.regle(m);
    ASSERT_TRUE(applique(1, 1));
  }
  const std::pair<std::string, std::string> attendus[] = {{"05-12-2026", "21:07"},
                                                          {"05-12-2026", "21:07"},
                                                          {"05-12-2026", "22:07"},
                                                          {"06-12-2026", "22:07"},
                                                          {"06-01-2027", "22:08"}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(b.mouvement(i + 1).date(), attendus[i].first) << i;
    EXPECT_EQ(b.mouvement(i + 1).heure(), attendus[i].second) << i;
  }
  EXPECT_EQ(b.article(1).date_mouvement(), "06-01-2027");
}

TEST_F(Analyse, FichierDeTravailAbsentOuVide) {
  applique_analyse(b.valeurs, b.fenetre);
  applique("");
  EXPECT_TRUE(b.fenetre.journal.empty());
  EXPECT_FALSE(analyse_presente());
  EXPECT_FALSE(fs::exists(b.fichier_erreurs()));
}

TEST_F(Analyse, TrouvesEtErreursDansLOrdreDuFichier) {
  applique("BOU-001\t2\nINCONNU\t-1.5\nbou-001  \t-3\n1000000000002\t0.5\t\r\n\n");
  EXPECT_EQ(b.fenetre.journal,
            (Lignes{ligne_pain("2.00"),
                    "-1.50 x Erreur reference : INCONNU (prov_stk_ana_ron.txt, ligne 2)",
                    ligne_pain("-3.00"), ligne_cafe("0.50"),
                    "0.00 x Erreur reference :  (prov_stk_ana_ron.txt, ligne 5)"}));
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU-1.5 \r\nErreur reference :  0 \r\n");
  EXPECT_EQ(b.article(1).stock(), 9.0f);
  EXPECT_EQ(b.article(1).quantite2(), 6.0f);
  EXPECT_EQ(b.article(2).stock(), 3.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 3);
  EXPECT_EQ(b.mouvement(3).code(), "1000000000002  ");
  EXPECT_FALSE(analyse_presente());
}

TEST_F(Analyse, VirguleDansLeFichierErreurEtLeJournal) {
  Boutique v(',');
  v.ecrit_caisse(articles_boutique());
  v.ecrit_analyse("X\t-1.5\nY\t.5\nEPI-002\t2 7\tkg\nEPI-002\t-2.5\n");
  applique_analyse(v.valeurs, v.fenetre);
  EXPECT_EQ(lit_octets(v.fichier_erreurs()),
            "Erreur reference : X-1,5 \r\nErreur reference : Y ,5 \r\n");
  EXPECT_EQ(v.fenetre.journal,
            (Lignes{"-1,50 x Erreur reference : X (prov_stk_ana_ron.txt, ligne 1)",
                    "0,50 x Erreur reference : Y (prov_stk_ana_ron.txt, ligne 2)",
                    "27,00 x " + designation_40("CAF\xC9 EN GRAINS"),
                    "-2,50 x " + designation_40("CAF\xC9 EN GRAINS")}));
  // The movement keeps its decimals whatever the workstation's separator.
  EXPECT_EQ(v.mouvement(2).quantite(), -2.5f);
  EXPECT_EQ(v.article(2).stock(), 27.0f);
}

// A quantity is applied as the server wrote it or refused with its text as received; never a
// number made of two columns, nor 0 read from a word.
TEST_F(Analyse, UneQuantiteEstLueCommeEnvoyeeOuRefusee) {
  struct Cas {
    const char* apres_tab;  // nullptr: a line without TAB
    const char* journal;    // the two-decimal quantity applied, or the refused text
    bool applique;
  };
  const Cas cas[] = {
      {nullptr, "0.00", true},
      {"", "0.00", true},
      {" \t ", "0.00", true},
      {"2", "2.00", true},
      {"1 000", "1000.00", true},
      {" 1 5 \t", "15.00", true},
      {"5 kg", "5.00", true},
      {"2\toffert", "2.00", true},
      {"3\t\t", "3.00", true},
      {"&HFFFF", "65535.00", true},
      {"2\t1.99", "2\t1.99", false},
      {"2\t7", "2\t7", false},
      {" 1 \t000 ", "1 \t000", false},
      {"-\t5", "-\t5", false},
      {"1.\t5", "1.\t5", false},
      {"dix", "dix", false},
      {"-", "-", false},
      {" . ", ".", false},
      {"kg 5", "kg 5", false},
      {"\toffert", "offert", false},
      {"&H", "&H", false},
      {"&Hzz", "&Hzz", false},
      {"1e400", "1e400", false},
      {" 1e300\t", "1e300", false},
  };
  std::string fichier, attendu_erreurs;
  Lignes attendu_journal;
  float stock = 10.0f;
  std::int32_t mouvements = 0;
  for (const Cas& c : cas) {
    fichier += c.apres_tab ? std::string("BOU-001\t") + c.apres_tab + "\n" : "BOU-001\n";
    if (c.applique) {
      attendu_journal.push_back(ligne_pain(c.journal));
      stock += std::stof(c.journal);
      ++mouvements;
    } else {
      attendu_journal.push_back(std::string(c.journal) +
                                " x Erreur quantite : BOU-001 (prov_stk_ana_ron.txt, ligne " +
                                std::to_string(attendu_journal.size() + 1) + ")");
      attendu_erreurs += std::string("Erreur quantite : BOU-001 ") + c.journal + " \r\n";
    }
  }
  applique(fichier);
  EXPECT_EQ(b.fenetre.journal, attendu_journal);
  EXPECT_EQ(erreurs(), attendu_erreurs);
  EXPECT_EQ(b.article(1).stock(), stock);
  EXPECT_EQ(b.mouvement(0).poste(), mouvements);
}

// An article file that cannot be opened, read or written says nothing of the references: the file
// stops before the record, nothing goes to the error file, and the next start applies it all.
class AnalyseArticlesInaccessibles : public Analyse,
                                     public ::testing::WithParamInterface<Operation> {};

TEST_P(AnalyseArticlesInaccessibles, LeFichierSArreteEtRepartSansLigneDErreur) {
  const Operation operation = GetParam();
  {
    const EchecInjecte echec([operation](Operation op, std::string_view chemin) {
      return op == operation && chemin.ends_with("w_caiar4.wdo");
    });
    applique("BOU-001\t2\nEPI-002\t-1\n");
  }
  EXPECT_EQ(erreurs(), "");
  ASSERT_EQ(b.fenetre.journal.size(), 1u);
  EXPECT_TRUE(
      b.fenetre.journal[0].starts_with("Donn\xE9"
                                       "es de caisse illisibles : w_caiar4.wdo "));
  EXPECT_TRUE(b.fenetre.journal[0].ends_with(
      " : analyse arr\xEAt\xE9"
      "e \xE0 l'enregistrement 1, reprise au prochain d\xE9marrage"));
  EXPECT_EQ(b.article(1).octets, b.originaux[0].octets);
  EXPECT_EQ(b.mouvement(0).poste(), 0);
  EXPECT_TRUE(analyse_presente());
  // The register readable again: both records applied, once.
  reprend();
  EXPECT_EQ(erreurs(), "");
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  EXPECT_FALSE(analyse_presente());
}

INSTANTIATE_TEST_SUITE_P(Operations, AnalyseArticlesInaccessibles,
                         ::testing::Values(Operation::ouverture, Operation::lecture,
                                           Operation::ecriture));

// The article file opened and read well, then one read fails at the third record (the share
// dropping mid-file): that record stops the file, it never goes to the error file as "Erreur
// article", and the next start applies it and the rest once.
TEST_F(Analyse, UneLectureDArticleEnEchecEnCoursDeFichierArreteSansLigneDErreur) {
  int lectures = 0;
  {
    // The header at the opening, each record's article as the group is planned (the second
    // time an article comes, read again and given what the group's first record leaves it
    // at), then one read of its article as each record is written: the eighth is the third
    // record's.
    const EchecInjecte echec([&](Operation op, std::string_view chemin) {
      return op == Operation::lecture && chemin.ends_with("w_caiar4.wdo") && ++lectures == 8;
    });
    applique("BOU-001\t1\nEPI-002\t1\nBOU-001\t2\nEPI-002\t-1\n");
  }
  EXPECT_EQ(erreurs(), "");
  ASSERT_EQ(b.fenetre.journal.size(), 3u);
  EXPECT_TRUE(
      b.fenetre.journal[2].starts_with("Donn\xE9"
                                       "es de caisse illisibles : w_caiar4.wdo "));
  EXPECT_TRUE(
      b.fenetre.journal[2].ends_with(" : analyse arr\xEAt\xE9"
                                     "e \xE0 l'enregistrement 3, reprise au prochain d\xE9marrage"))
      << b.fenetre.journal[2];
  EXPECT_EQ(b.article(1).stock(), 11.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  reprend();
  EXPECT_EQ(erreurs(), "");
  EXPECT_EQ(b.article(1).stock(), 13.0f);
  EXPECT_EQ(b.article(2).stock(), 2.5f);
  EXPECT_EQ(b.mouvement(0).poste(), 4);
  EXPECT_FALSE(analyse_presente());
}

TEST_F(Analyse, UnIndexAuDelaDesArticlesNEcritRien) {
  ASSERT_TRUE(fabrique::ecrit_index(b.dossier_caisse(), {{"APERDU", 40}}, 1).ok());
  const std::string avant = lit_octets(b.caisse() / "w_caiar4.wdo");
  applique("PERDU\t1\n");
  EXPECT_EQ(lit_octets(b.caisse() / "w_caiar4.wdo"), avant);
  EXPECT_EQ(erreurs(), "Erreur article : PERDU 1 \r\n");
}

// An error line refused stops the file; the next start writes it and goes on.
TEST_F(Analyse, FichierErreurImpossibleArreteLeFichierJusquAuDemarrage) {
  {
    const EchecInjecte echec(
        [](Operation, std::string_view chemin) { return chemin.ends_with(".err"); });
    applique("BOU-001\t1\nX\t1\nBOU-001\t2\n");
  }
  ASSERT_EQ(b.fenetre.journal.size(), 3u);
  EXPECT_EQ(
      Lignes(b.fenetre.journal.begin(), b.fenetre.journal.begin() + 2),
      (Lignes{ligne_pain("1.00"), "1.00 x Erreur reference : X (prov_stk_ana_ron.txt, ligne 2)"}));
  // Why, then where it stopped.
  const std::string& arret = b.fenetre.journal[2];
  EXPECT_TRUE(arret.starts_with("Fichier d'erreurs non \351crit : failure injected for ")) << arret;
  EXPECT_TRUE(
      arret.ends_with(".err : analyse arr\xEAt\351e \xE0 l'enregistrement 2, reprise au "
                      "prochain d\xE9marrage"))
      << arret;
  EXPECT_FALSE(fs::exists(b.fichier_erreurs()));
  EXPECT_TRUE(analyse_presente());
  EXPECT_EQ(b.article(1).stock(), 11.0f);
  EXPECT_EQ(reprend(), (Lignes{"Reprise : prov_stk_ana_ron.txt \xE0 partir de l'enregistrement 2",
                               "1.00 x Erreur reference : X (prov_stk_ana_ron.txt, ligne 2)",
                               ligne_pain("2.00")}));
  EXPECT_EQ(erreurs(), "Erreur reference : X 1 \r\n");
  EXPECT_EQ(b.article(1).stock(), 13.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  EXPECT_FALSE(analyse_presente());
  EXPECT_FALSE(fs::exists("reprise_analyse.wdo"));
}

// Lines that are no records: reported by their first 100 bytes, never applied nor held whole.
TEST_F(Analyse, LignesInacheveesEtTropLonguesSignalees) {
  applique("BOU-001\t1\n" + std::string(200'000, 'L') + "\t1\nEPI-002\t1\n" +
           std::string(150, 'Z') + "\t5");
  const std::string l100(100, 'L'), z100(100, 'Z');
  EXPECT_EQ(erreurs(), "Ligne trop longue : " + l100 + "\r\nLigne incomplete : " + z100 + "\r\n");
  EXPECT_EQ(
      b.fenetre.journal,
      (Lignes{
          ligne_pain("1.00"), "Ligne trop longue : " + l100 + " (prov_stk_ana_ron.txt, ligne 2)",
          ligne_cafe("1.00"), "Ligne incomplete : " + z100 + " (prov_stk_ana_ron.txt, ligne 4)"}));
  EXPECT_EQ(b.mouvement(0).poste(), 2);
}

TEST_F(Analyse, LesDechetsNAbimentJamaisLaCaisse) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  garbage += std::string("\0\0\t\0\n", 5);
  garbage += std::string(200, 'R') + "\t1\n";
  garbage += "\t1\n";
  garbage += std::string(2 * 1024 * 1024, 'L') + "\t1\n";
  const std::string articles_avant = lit_octets(b.caisse() / "w_caiar4.wdo");
  const std::string index_avant = lit_octets(b.caisse() / "W_caiind.WDO");
  applique(garbage);
  EXPECT_EQ(lit_octets(b.caisse() / "w_caiar4.wdo"), articles_avant);
  EXPECT_EQ(lit_octets(b.caisse() / "W_caiind.WDO"), index_avant);
  EXPECT_EQ(b.mouvement(0).poste(), 0);
  EXPECT_FALSE(analyse_presente());
  // Every record is in the error file, the long ones whole up to 64 KiB.
  const std::string e = erreurs();
  EXPECT_NE(e.find("Erreur reference : " + std::string(200, 'R') + " 1 \r\n"), std::string::npos);
  EXPECT_NE(e.find("Erreur reference :  1 \r\n"), std::string::npos);
  EXPECT_NE(e.find("Ligne trop longue : " + std::string(100, 'L') + "\r\n"), std::string::npos);
  EXPECT_EQ(b.fenetre.journal.size(),
            static_cast<std::size_t>(std::count(e.begin(), e.end(), '\n')));
}

// Articles that come back again and again within one group are planned from what the
// group's earlier records leave them at: the group is noted once and put on the disk once,
// and every stock and movement is as if applied one by one.
TEST_F(Analyse, UnArticleQuiRevientDansSonGroupeNeLeCoupePas) {
  const int n = 600;
  std::string contenu;
  for (int i = 0; i < n; ++i) {
    contenu += b.originaux[static_cast<std::size_t>(i % 3)].code() + "\t" +
               std::to_string(i % 2 == 0 ? i : -i) + "\n";
    if (i == n / 2) contenu += "INCONNU\t1\n";
  }
  int notes = 0;
  {
    const EchecInjecte espion([&](Operation o, std::string_view chemin) {
      if (o == Operation::synchronisation && chemin.find("reprise_groupes") != std::string::npos)
        ++notes;
      return false;
    });
    applique(contenu);
  }
  EXPECT_EQ(notes, 1);
  ASSERT_EQ(b.mouvement(0).poste(), n);
  for (int j = 0; j < 3; ++j) {
    double somme = 0;
    for (int i = j; i < n; i += 3) somme += i % 2 == 0 ? i : -i;
    EXPECT_EQ(b.stock(j + 1),
              b.originaux[static_cast<std::size_t>(j)].stock() + static_cast<float>(somme))
        << j + 1;
  }
  // Each movement where it belongs, in the file's order.
  for (int i = 0; i < n; i += 97) {
    EXPECT_EQ(b.mouvement(i + 1).quantite(), static_cast<float>(i % 2 == 0 ? i : -i)) << i;
    EXPECT_EQ(b.mouvement(i + 1).code(), b.originaux[static_cast<std::size_t>(i % 3)].code());
  }
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\n");
}

// A group's note is written a few hundred entries at a time: one of a thousand and more
// entries reads back whole, its check sum over all of them, and a shorter note written
// over it later in the same file is read with its own entries only.
TEST_F(Analyse, UneLongueNoteDeGroupeSeRelitEntiere) {
  Groupe g;
  g.sequence = 1;
  g.taille_fichier = 123456;
  g.empreinte_fichier = 99;
  for (int i = 1; i <= 1300; ++i) {
    EtatReprise e;
    e.numero = i;
    e.debut = 10 * (i - 1);
    e.suivante = 10 * i;
    if (i % 7 == 0) {
      e.attente = EtatReprise::Attente::ligne_erreur;
      e.date_erreurs = "07-12-2026";
      e.taille_erreurs = 31 * i;
      e.longueur_ligne = 31;
      e.empreinte_ligne = 0x0102030405060708ULL * static_cast<std::uint64_t>(i);
    } else {
      e.attente = EtatReprise::Attente::article;
      e.article = i % 20 + 1;
      e.stock_avant = static_cast<std::uint32_t>(i);
      e.stock_apres = static_cast<std::uint32_t>(i + 1);
      e.quantite2_avant = static_cast<std::uint32_t>(3 * i);
      e.quantite2_apres = static_cast<std::uint32_t>(3 * i - 1);
      e.mouvements_avant = i - 1;
      for (std::size_t o = 0; o < e.mouvement.size(); ++o)
        e.mouvement[o] = static_cast<std::uint8_t>(i + static_cast<int>(o));
    }
    g.ecritures.push_back(e);
  }
  g.dernier = 1300;
  ASSERT_TRUE(NoteGroupes::nouvelle().ok());
  const auto relu_comme_ecrit = [](const Groupe& ecrit) {
    const auto lu = lit_groupe(ecrit.taille_fichier, ecrit.empreinte_fichier);
    ASSERT_TRUE(lu);
    EXPECT_EQ(lu->sequence, ecrit.sequence);
    EXPECT_EQ(lu->dernier, ecrit.dernier);
    ASSERT_EQ(lu->ecritures.size(), ecrit.ecritures.size());
    for (std::size_t i = 0; i < ecrit.ecritures.size(); ++i) {
      EtatReprise attendu = ecrit.ecritures[i];  // the file's size and digest are the head's
      attendu.taille_fichier = ecrit.taille_fichier;
      attendu.empreinte_fichier = ecrit.empreinte_fichier;
      ASSERT_EQ(lu->ecritures[i].encode(), attendu.encode()) << i;
    }
  };
  NoteGroupes note;
  ASSERT_TRUE(note.note(g).ok());
  relu_comme_ecrit(g);
  EXPECT_EQ(lit_octets(std::string(noms_fichiers_groupes[0])).size(), 80u + 1300u * 160u);
  g.sequence = 3;  // the same file, over the longer note
  g.premier = 1201;
  g.ecritures.erase(g.ecritures.begin(), g.ecritures.begin() + 1200);
  ASSERT_TRUE(note.note(g).ok());
  relu_comme_ecrit(g);
  // An entry of the last ones damaged: the note is refused, never read in part.
  note.ferme();
  std::string octets = lit_octets(std::string(noms_fichiers_groupes[0]));
  octets[80 + 99 * 160 + 40] ^= 1;
  ecrit_octets(std::string(noms_fichiers_groupes[0]), octets);
  EXPECT_FALSE(lit_groupe(123456, 99));
}

// Two records of a group with the very same movement (article, quantity, minute), the till
// selling meanwhile so that ours land one place further than the group planned, the second
// movement refused: the restart tells the two copies apart by their order and appends the
// missing one instead of taking the first's copy for it.
TEST_F(Analyse, DeuxMouvementsIdentiquesApresUneVenteChacunASaPlace) {
  int articles_ecrits = 0;
  {
    const EchecInjecte echec([&](Operation op, std::string_view chemin) {
      if (op == Operation::ecriture && chemin.ends_with("w_caiar4.wdo") && ++articles_ecrits == 1) {
        // The till's own movement, appended as the cash-register program does.
        std::string m = lit_octets(b.caisse() / "W_CAIREC.WDO");
        EnregistrementMouvement tete = b.mouvement(0);
        EnregistrementMouvement vente = EnregistrementMouvement::vierge();
        vente.met_code("CAISSE");
        vente.met_poste(9);
        m.append(reinterpret_cast<const char*>(vente.octets.data()), vente.octets.size());
        tete.met_poste(tete.poste() + 1);
        m.replace(0, tete.octets.size(), reinterpret_cast<const char*>(tete.octets.data()),
                  tete.octets.size());
        ecrit_octets(b.caisse() / "W_CAIREC.WDO", m);
      }
      return op == Operation::ouverture && chemin.ends_with("W_CAIREC.WDO") && articles_ecrits == 2;
    });
    applique("BOU-001\t1\nBOU-001\t1\n");
  }
  const std::int32_t compte = b.mouvement(0).poste();
  ASSERT_EQ(b.stock(1), b.originaux[0].stock() + 2.0f);
  reprend();
  EXPECT_FALSE(analyse_presente());
  ASSERT_EQ(b.mouvement(0).poste(), compte + 1);
  EXPECT_EQ(b.stock(1), b.originaux[0].stock() + 2.0f);
  EXPECT_EQ(b.mouvement(compte + 1).octets, b.mouvement(compte).octets);
}

}  // namespace
}  // namespace pontex::test

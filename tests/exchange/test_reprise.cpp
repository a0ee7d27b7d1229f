// An analysis killed part-way: the next start applies each record exactly once.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/fichiers_appliques.h"
#include "pontex/exchange/groupes.h"
#include "pontex/shared/arret_systeme.h"
#include "tests/support/boutique.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

const std::string reprise = "reprise_analyse.wdo";

// Known twice, unknown, decimal, zero, and a last line without its end.
const std::string fichier_mixte =
    "BOU-001\t2\nINCONNU\t1\nEPI-002\t-1.5\nBOU-001\t0\n1000000000002\t3\nBOU-001\t2\nZ\t";

// Groups of four records in a test: a small file crosses a group's end.
struct GroupesDeQuatre {
  GroupesDeQuatre() { limite_ecritures_par_groupe(4); }
  ~GroupesDeQuatre() { limite_ecritures_par_groupe(0); }
};

class Reprise : public Echange {
 protected:
  // What fichier_mixte leaves, applied once.
  void verifie_mixte_applique_une_fois() {
    EnregistrementArticle a1 = b.originaux[0], a2 = b.originaux[1];
    a1.met_stock(14.0f);
    a1.met_quantite2(1.0f);
    a1.met_date_mouvement("05-12-2026");
    a2.met_stock(4.0f);
    a2.met_quantite2(-1.5f);
    a2.met_date_mouvement("05-12-2026");
    EXPECT_EQ(octets_de(b.article(1)), octets_de(a1));
    EXPECT_EQ(octets_de(b.article(2)), octets_de(a2));
    for (int k = 3; k <= 6; ++k) EXPECT_EQ(octets_de(b.article(k)), octets_de(b.originaux[k - 1]));
    const std::string attendus[] = {mouvement_attendu("1000000000001", 2, 12345, 7, 3),
                                    mouvement_attendu("1000000000002", -1.5f, -7, 7, 3),
                                    mouvement_attendu("1000000000001", 0, 12345, 7, 3),
                                    mouvement_attendu("1000000000002", 3, -7, 7, 3),
                                    mouvement_attendu("1000000000001", 2, 12345, 7, 3)};
    EXPECT_EQ(b.mouvement(0).poste(), 5);
    // No record torn, none beyond the count.
    EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO").size(), 6u * 64u);
    for (int m = 1; m <= 5; ++m) EXPECT_EQ(octets_de(b.mouvement(m)), attendus[m - 1]) << m;
    EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\nLigne incomplete : Z\t\r\n");
    EXPECT_FALSE(analyse_presente());
    EXPECT_FALSE(fs::exists(reprise));
  }

  // The progress file of a run stopped when its note for record `numero` failed.
  void arrete_avant(int numero, const std::string& contenu = fichier_mixte) {
    int notes = 0;
    {
      const EchecInjecte echec([&](Operation op, std::string_view chemin) {
        return op == Operation::ecriture && chemin == reprise && ++notes == numero;
      });
      applique(contenu);
    }
    ASSERT_TRUE(analyse_presente());
    ASSERT_TRUE(fs::exists(reprise));
    b.fenetre.journal.clear();
  }

  // The same for m.txt taken from the import folder by an exchange.
  void importe_arrete_avant(int numero) {
    b.depose("m.txt", fichier_mixte);
    int notes = 0;
    const EchecInjecte echec([&](Operation op, std::string_view chemin) {
      return op == Operation::ecriture && chemin == reprise && ++notes == numero;
    });
    importe();
  }
  // A new delivery n.txt taken by a fresh exchange.
  void importe_n() {
    b.depose("n.txt", "EPI-002\t1\n");
    reimporte();
  }
  // The article file as now, but for article k set to `a`.
  void remplace_article(int k, const EnregistrementArticle& a) {
    std::vector<EnregistrementArticle> articles;
    for (int i = 1; i <= 6; ++i) articles.push_back(i == k ? a : b.article(i));
    ASSERT_TRUE(fabrique::ecrit_articles(b.dossier_caisse(), articles).ok());
  }
};

TEST_F(Reprise, UneNoteImpossibleArreteLeFichierLeDemarrageSuivantLeFinit) {
  arrete_avant(3);
  EXPECT_EQ(b.mouvement(0).poste(), 1);
  EXPECT_EQ(reprend().front(), "Reprise : prov_stk_ana_ron.txt \xE0 partir de l'enregistrement 3");
  verifie_mixte_applique_une_fois();
}

// The last note, "finished", refused by the disk: the file is applied all the same and the
// journal says the note was not written, with why.
TEST_F(Reprise, UneNoteDeFinRefuseeEstDite) {
  {
    const EchecInjecte echec([&](Operation op, std::string_view chemin) {
      return op == Operation::synchronisation && chemin == reprise;
    });
    applique(fichier_mixte);
  }
  EXPECT_EQ(b.fenetre.journal.back(),
            "Suivi de reprise non \xE9"
            "crit : failure injected for reprise_analyse.wdo");
  verifie_mixte_applique_une_fois();
}

// The next exchange finishes the file before taking a new one.
TEST_F(Reprise, LEchangeSuivantFinitLeFichierAvantDePrendreLesNouveaux) {
  importe_arrete_avant(2);
  importe_n();
  ASSERT_GE(b.fenetre.journal.size(), 3u);
  EXPECT_EQ(b.fenetre.journal[0], "Reprise : m.txt \xE0 partir de l'enregistrement 2");
  EXPECT_EQ(b.fenetre.journal[b.fenetre.journal.size() - 2], "Traitement : n.txt");
  EXPECT_EQ(b.article(2).stock(), 5.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 6);
  EXPECT_FALSE(fs::exists(b.import() / "n.txt"));
}

// A progress file that does not fit the working file applies nothing; both kept aside.
const std::string garde = "reprise_impossible_20261205210709.txt";

TEST_F(Reprise, FichierDeTravailAbsentNAppliqueRien) {
  arrete_avant(2);
  fs::remove("prov_stk_ana_ron.txt");
  const std::string articles = lit_octets(b.caisse() / "w_caiar4.wdo");
  EXPECT_EQ(reprend(), (Lignes{"Reprise impossible : fichier de travail absent pour "
                               "prov_stk_ana_ron.txt, enregistrement 1 appliqu\xE9"}));
  EXPECT_EQ(lit_octets(b.caisse() / "w_caiar4.wdo"), articles);
  EXPECT_FALSE(fs::exists(reprise));
}

TEST_F(Reprise, FichierDeTravailRemplaceNAppliqueRien) {
  arrete_avant(4);
  // Same size, one byte different: a digest, not a size, tells them apart.
  std::string autre = fichier_mixte;
  autre[0] = 'C';
  b.ecrit_analyse(autre);
  const std::string articles = lit_octets(b.caisse() / "w_caiar4.wdo");
  EXPECT_EQ(reprend(),
            (Lignes{"Reprise impossible : le fichier de travail n'est plus celui de "
                    "prov_stk_ana_ron.txt, enregistrements 1 \xE0 3 appliqu\xE9s, fichier de "
                    "travail gard\xE9 sous " +
                    garde}));
  EXPECT_EQ(lit_octets(b.caisse() / "w_caiar4.wdo"), articles);
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  EXPECT_FALSE(analyse_presente());
  EXPECT_FALSE(fs::exists(reprise));
  EXPECT_EQ(lit_octets(garde), autre);
}

TEST_F(Reprise, FichierDAvancementEndommageNAppliqueRien) {
  arrete_avant(2);
  const std::string bon = lit_octets(reprise);
  const std::string articles = lit_octets(b.caisse() / "w_caiar4.wdo");
  std::mt19937 g(11);
  std::string aleatoire(512, '\0');
  for (char& c : aleatoire) c = static_cast<char>(g());
  std::string un_octet = bon;
  un_octet[40] ^= 0x01;  // the record's position
  const std::string cas[] = {bon.substr(0, 100), "", aleatoire, un_octet, bon + "x"};
  for (const std::string& contenu : cas) {
    b.ecrit_analyse(fichier_mixte);
    ecrit_octets(reprise, contenu);
    EXPECT_EQ(reprend(),
              (Lignes{"Reprise impossible : suivi de reprise illisible, enregistrements "
                      "d\xE9j\xE0 appliqu\xE9s inconnus, fichier de travail gard\xE9 sous " +
                      garde}));
    EXPECT_EQ(lit_octets(b.caisse() / "w_caiar4.wdo"), articles);
    EXPECT_FALSE(analyse_presente());
    EXPECT_FALSE(fs::exists(reprise));
    // Both kept for a person to look at.
    EXPECT_EQ(lit_octets(garde), fichier_mixte);
    EXPECT_EQ(lit_octets("reprise_impossible_20261205210709.wdo"), contenu);
    fs::remove(garde);
    fs::remove("reprise_impossible_20261205210709.wdo");
  }
}

// Progress file removed by hand: the working file is kept aside, never re-applied.
TEST_F(Reprise, FichierDeTravailSansAvancementMisDeCotePasReapplique) {
  importe_arrete_avant(4);
  ASSERT_TRUE(analyse_presente());
  fs::remove(reprise);
  importe_n();
  ASSERT_GE(b.fenetre.journal.size(), 2u);
  EXPECT_EQ(b.fenetre.journal[0],
            "Reprise impossible : suivi de reprise absent, enregistrements d\xE9j\xE0 "
            "appliqu\xE9s inconnus, fichier de travail gard\xE9 sous " +
                garde);
  EXPECT_EQ(b.fenetre.journal[1], "Traitement : n.txt");
  // Records 1 to 3 of m.txt once, from the first run, then n.txt.
  EXPECT_EQ(b.article(1).stock(), 12.0f);
  EXPECT_EQ(b.article(2).stock(), 2.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 3);
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\n");
  EXPECT_EQ(lit_octets(garde), fichier_mixte);
  EXPECT_FALSE(analyse_presente());
  EXPECT_FALSE(fs::exists(b.import() / "n.txt"));
}

// A folder under the progress file's name is moved aside; exchanges go on.
TEST_F(Reprise, UnDossierALaPlaceDeLAvancementNArretePasLEchange) {
  float stock = b.article(2).stock();
  for (const bool avec_fichier : {true, false}) {
    SCOPED_TRACE(avec_fichier ? "with a working file" : "alone");
    // The same delivery again would be refused as already applied.
    fs::remove(nom_fichier_appliques);
    fs::create_directories(fs::path(reprise) / "dedans");
    if (avec_fichier) b.ecrit_analyse(fichier_mixte);
    importe_n();
    ASSERT_GE(b.fenetre.journal.size(), 2u);
    EXPECT_EQ(b.fenetre.journal[0],
              "Reprise impossible : suivi de reprise illisible, enregistrements d\xE9j\xE0 "
              "appliqu\xE9s inconnus" +
                  (avec_fichier ? ", fichier de travail gard\xE9 sous " + garde : std::string()));
    EXPECT_EQ(b.fenetre.journal[1], "Traitement : n.txt");
    EXPECT_EQ(b.article(2).stock(), stock += 1.0f);
    EXPECT_FALSE(fs::exists(b.import() / "n.txt"));
    EXPECT_FALSE(fs::exists(reprise));
    EXPECT_TRUE(fs::is_directory("reprise_impossible_20261205210709.wdo"));
    fs::remove_all("reprise_impossible_20261205210709.wdo");
    fs::remove(garde);
  }
  // Nothing of the first file was applied.
  EXPECT_EQ(b.article(1).stock(), b.originaux[0].stock());
}

// A full disk stops the file at the movement not written; the restart appends it once.
class RepriseDisquePlein : public Reprise, public ::testing::WithParamInterface<int> {};

TEST_P(RepriseDisquePlein, LeFichierSArreteEtLeDemarrageSuivantAjouteLesMouvementsManquants) {
  const int premiere_refusee = GetParam();
  // Four rounds over the five articles that have a code.
  const int ks[] = {1, 2, 3, 4, 6};
  std::string contenu;
  for (int tour = 0; tour < 4; ++tour)
    for (const int k : ks) contenu += b.originaux[static_cast<std::size_t>(k - 1)].code() + "\t1\n";
  {
    // Count and record writes alternate: from the 4th movement, all (7) or records (8) fail.
    int ecritures = 0;
    const EchecInjecte echec([&](Operation op, std::string_view chemin) {
      if (op != Operation::ecriture || !chemin.ends_with("W_CAIREC.WDO")) return false;
      ++ecritures;
      return ecritures >= premiere_refusee && (premiere_refusee % 2 == 1 || ecritures % 2 == 0);
    });
    applique(contenu);
  }
  EXPECT_EQ(b.fenetre.journal.back(),
            "Mouvement non \351crit : analyse arr\xEAt\351e \xE0 l'enregistrement 4, reprise au "
            "prochain d\xE9marrage");
  EXPECT_TRUE(analyse_presente());
  EXPECT_EQ(b.mouvement(0).poste(), 3);
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO").size(), 4u * 64u);
  EXPECT_EQ(b.stock(4), b.originaux[3].stock() + 1.0f);
  EXPECT_EQ(b.stock(6), b.originaux[5].stock());
  reprend();
  EXPECT_EQ(b.fenetre.journal.front(),
            "Reprise : prov_stk_ana_ron.txt \xE0 partir de l'enregistrement 4");
  EXPECT_FALSE(analyse_presente());
  ASSERT_EQ(b.mouvement(0).poste(), 20);
  std::map<std::string, int> par_code;
  for (int m = 1; m <= 20; ++m) ++par_code[b.mouvement(m).code()];
  for (const int k : ks) {
    EXPECT_EQ(b.stock(k), b.originaux[static_cast<std::size_t>(k - 1)].stock() + 4.0f) << k;
    EXPECT_EQ(par_code[b.article(k).code()], 4) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(CompteOuRecord, RepriseDisquePlein, ::testing::Values(7, 8));

// A torn error line is cut back before being written again; other text stays.
TEST_F(Reprise, UneLigneDErreurDechireeEstCoupeeAvantDEtreReecrite) {
  const std::string avant = "Erreur reference : AVANT 1 \r\n";
  const std::string ligne = "Erreur reference : INCONNU-01470 1 \r\n";
  struct Cas {
    const char* nom;
    std::string apres_arret;  // what follows avant at the restart
    bool lendemain;
  };
  const Cas cas[] = {{"torn", ligne.substr(0, 23), false},
                     {"torn, restarted the next day", ligne.substr(0, 23), true},
                     {"not our line", "Erreur x\r\n", false}};
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    b.ecrit_caisse(articles_boutique());
    b.horloge.regle(DateHeure{2026, 12, 5, 21, 7, 9});
    ecrit_octets(b.fichier_erreurs(), avant);
    fs::remove(b.fichier_erreurs("06-12-2026"));
    {
      const EchecInjecte echec([&](Operation op, std::string_view chemin) {
        if (op != Operation::ecriture || !chemin.ends_with(".err")) return false;
        ecrit_octets(b.fichier_erreurs(), avant + c.apres_arret);
        return true;
      });
      applique("BOU-001\t1\nINCONNU-01470\t1\nBOU-001\t2\n");
    }
    ASSERT_TRUE(analyse_presente());
    if (c.lendemain) b.horloge.regle(DateHeure{2026, 12, 6, 8, 0, 0});
    applique_analyse(b.valeurs, b.fenetre);
    EXPECT_FALSE(analyse_presente());
    if (c.lendemain) {
      EXPECT_EQ(erreurs(), avant);
      EXPECT_EQ(lit_octets(b.fichier_erreurs("06-12-2026")), ligne);
    } else {
      EXPECT_EQ(erreurs(), avant + (c.apres_arret == "Erreur x\r\n" ? c.apres_arret : "") + ligne);
    }
    EXPECT_EQ(b.stock(1), b.originaux[0].stock() + 3.0f);
  }
}

// Stopped between article and movement: the movement added, or after a sale a check asked for.
class RepriseEntreArticleEtMouvement : public Reprise,
                                       public ::testing::WithParamInterface<bool> {};

TEST_P(RepriseEntreArticleEtMouvement, MouvementFiniOuRecordAppliqueEtJournalise) {
  const bool vente = GetParam();
  {
    // Record 6's movement is refused, record 7's note too.
    int notes = 0;
    const EchecInjecte echec([&](Operation op, std::string_view chemin) {
      if (op == Operation::ecriture && chemin == reprise) return ++notes == 7;
      return op == Operation::ouverture && chemin.ends_with("W_CAIREC.WDO") && notes == 6;
    });
    applique(fichier_mixte);
  }
  ASSERT_EQ(b.mouvement(0).poste(), 4);
  ASSERT_EQ(b.article(1).stock(), 14.0f);
  if (vente) {
    EnregistrementArticle a = b.article(1);
    a.met_stock(13.0f);
    remplace_article(1, a);
  }
  reprend();
  if (!vente) {
    EXPECT_EQ(b.fenetre.journal,
              (Lignes{"Reprise : prov_stk_ana_ron.txt \xE0 partir de l'enregistrement 6",
                      "Ligne incomplete : Z\t (prov_stk_ana_ron.txt, ligne 7)"}));
    verifie_mixte_applique_une_fois();
    return;
  }
  ASSERT_GE(b.fenetre.journal.size(), 2u);
  EXPECT_EQ(b.fenetre.journal[1],
            "Reprise : article 1000000000001 modifi\xE9 par la caisse depuis l'arr\xEAt, stock "
            "\xE0 v\xE9rifier, enregistrement 6");
  EXPECT_EQ(b.article(1).stock(), 15.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 5);
}

INSTANTIATE_TEST_SUITE_P(Vente, RepriseEntreArticleEtMouvement, ::testing::Bool());

// A file longer than one group, stopped in its second: the restart settles that group and
// applies the rest, each record once.
TEST_F(Reprise, ArreteDansLeDeuxiemeGroupeChaqueRecordUneFois) {
  const int ks[] = {1, 2, 3, 4, 6};
  const int n = static_cast<int>(Groupe::ecritures_max) + 20;
  std::string contenu;
  for (int i = 0; i < n; ++i)  // quantities all different: no movement the same as another
    contenu += b.originaux[static_cast<std::size_t>(ks[i % 5] - 1)].code() + "\t" +
               std::to_string(i % 2 == 0 ? i : -i) + "\n";
  contenu += "INCONNU\t1\n";
  arrete_avant(static_cast<int>(Groupe::ecritures_max) + 10, contenu);
  EXPECT_EQ(b.mouvement(0).poste(), static_cast<std::int32_t>(Groupe::ecritures_max) + 9);
  reprend();
  EXPECT_EQ(b.fenetre.journal.front(),
            "Reprise : prov_stk_ana_ron.txt \xE0 partir de "
            "l'enregistrement " +
                std::to_string(Groupe::ecritures_max + 10));
  EXPECT_FALSE(analyse_presente());
  ASSERT_EQ(b.mouvement(0).poste(), n);
  for (int j = 0; j < 5; ++j) {
    double somme = 0;
    for (int i = j; i < n; i += 5) somme += i % 2 == 0 ? i : -i;
    EXPECT_EQ(b.stock(ks[j]),
              b.originaux[static_cast<std::size_t>(ks[j] - 1)].stock() + static_cast<float>(somme))
        << ks[j];
  }
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\n");
}

// Two records of one group that append the very same movement bytes (same article, quantity
// and minute): after a stop, the second is found as the second copy after the first one's
// count, not appended a third time.
TEST_F(Reprise, DeuxMouvementsIdentiquesDUnGroupeChacunUneFois) {
  const std::string a = b.originaux[0].code(), c = b.originaux[1].code();
  arrete_avant(4, a + "\t2\n" + c + "\t1\n" + a + "\t2\n" + c + "\t3\n");
  ASSERT_EQ(b.mouvement(0).poste(), 3);
  ASSERT_EQ(octets_de(b.mouvement(1)), octets_de(b.mouvement(3)));
  reprend();
  EXPECT_EQ(b.mouvement(0).poste(), 4);
  EXPECT_EQ(b.stock(1), b.originaux[0].stock() + 4.0f);
  EXPECT_EQ(b.stock(2), b.originaux[1].stock() + 4.0f);
  EXPECT_FALSE(analyse_presente());
}

// The note of a group cut short by a power cut leaves the one before it; another working
// file's groups, or a note begun afresh, are never read.
TEST_F(Reprise, LaNoteDUnGroupeCoupeeLaisseLaPrecedente) {
  Groupe g;
  g.taille_fichier = 70;
  g.empreinte_fichier = 1234;
  g.premier = 1;
  g.dernier = 3;
  EtatReprise e;
  e.attente = EtatReprise::Attente::ligne_erreur;
  e.date_erreurs = "05-12-2026";
  for (int i = 1; i <= 3; ++i) {
    e.numero = i;
    e.debut = 10 * i;
    e.suivante = 10 * i + 10;
    e.taille_erreurs = 30 * i;
    g.ecritures.push_back(e);
  }
  ASSERT_TRUE(NoteGroupes::nouvelle().ok());
  {
    NoteGroupes note;
    g.sequence = 1;
    ASSERT_TRUE(note.note(g).ok());
    g.sequence = 2;
    g.premier = g.dernier = 4;
    g.ecritures.resize(1);
    g.ecritures[0].numero = 4;
    ASSERT_TRUE(note.note(g).ok());
  }
  auto lu = lit_groupe(70, 1234);
  ASSERT_TRUE(lu);
  EXPECT_EQ(lu->sequence, 2u);
  EXPECT_EQ(lu->ecritures.size(), 1u);
  EXPECT_FALSE(lit_groupe(70, 1235));
  // The second note's last byte lost: the first is read, whole.
  std::string octets = lit_octets(noms_fichiers_groupes[1]);
  octets[80 + 160 - 1] ^= 1;
  ecrit_octets(std::string(noms_fichiers_groupes[1]), octets);
  lu = lit_groupe(70, 1234);
  ASSERT_TRUE(lu);
  EXPECT_EQ(lu->sequence, 1u);
  ASSERT_EQ(lu->ecritures.size(), 3u);
  EXPECT_EQ(lu->ecritures[2].numero, 3);
  EXPECT_EQ(lu->ecritures[2].taille_erreurs, 90);
  EXPECT_EQ(lu->ecritures[2].date_erreurs, "05-12-2026");
  ASSERT_TRUE(NoteGroupes::nouvelle().ok());
  EXPECT_FALSE(lit_groupe(70, 1234));
}

#ifndef _WIN32

// Runs `travail` in a child process; returns whether it was killed.
template <typename F>
bool dans_un_enfant(F travail) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    travail();
    ::_exit(0);
  }
  int etat = 0;
  ::waitpid(pid, &etat, 0);
  return WIFSIGNALED(etat);
}

// Killed between count and record: the slot filled, or the count given back if the stock was lost.
class RepriseCompteLeve : public Reprise, public ::testing::WithParamInterface<int> {};

TEST_P(RepriseCompteLeve, LaPlaceEstRemplieOuLeCompteRendu) {
  enum { reprise_normale, fichier_absent, article_perdu };
  const int cas = GetParam();
  b.ecrit_analyse(fichier_mixte);
  ASSERT_TRUE(dans_un_enfant([&] {
    int ecritures = 0;
    installe_crochet_echec([&](Operation op, std::string_view chemin) {
      // Record 3's movement (the second): its count written, its record not.
      if (op == Operation::ecriture && chemin.ends_with("W_CAIREC.WDO") && ++ecritures == 4)
        ::raise(SIGKILL);
      return false;
    });
    applique_analyse(b.valeurs, b.fenetre);
  }));
  ASSERT_EQ(b.mouvement(0).poste(), 2);
  ASSERT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO").size(), 2u * 64u);
  if (cas == fichier_absent) fs::remove("prov_stk_ana_ron.txt");
  if (cas == article_perdu) remplace_article(2, b.originaux[1]);
  applique_analyse(b.valeurs, b.fenetre);
  if (cas != fichier_absent) {
    EXPECT_EQ(b.fenetre.journal.front(),
              "Reprise : prov_stk_ana_ron.txt \xE0 partir de l'enregistrement 3");
    verifie_mixte_applique_une_fois();
    return;
  }
  EXPECT_EQ(b.fenetre.journal, (Lignes{"Reprise impossible : fichier de travail absent pour "
                                       "prov_stk_ana_ron.txt, enregistrements 1 \xE0 3 "
                                       "appliqu\xE9s"}));
  EXPECT_EQ(b.mouvement(0).poste(), 2);
  EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO").size(), 3u * 64u);
  EXPECT_EQ(octets_de(b.mouvement(2)), mouvement_attendu("1000000000002", -1.5f, -7, 7, 3));
  EXPECT_EQ(b.article(2).stock(), 1.0f);
  EXPECT_FALSE(fs::exists(reprise));
}

INSTANTIATE_TEST_SUITE_P(Cas, RepriseCompteLeve, ::testing::Values(0, 1, 2));

// A received file whose name, escaped for the journal, passes 255 characters: 100 bytes that
// Windows-1252 cannot hold, each shown as four.
class RepriseNomLong : public Reprise {
 protected:
  const std::string nom = "livraison_" + std::string(100, '\xff') + ".txt";
  std::string echappe() const {
    std::string e = "livraison_";
    for (int i = 0; i < 100; ++i) e += "\\xff";
    return e + ".txt";
  }
  const std::string contenu = "BOU-001\t2\nEPI-002\t1\nBOU-001\t4\n";
  const std::string deja_traite = "Fichier d\xE9j\xE0 trait\xE9 : ";

  // An exchange taking it killed at the received file's removal (its two copies whole), or at
  // the operation right after that removal.
  bool tue_au_retrait(bool apres) {
    return dans_un_enfant([&] {
      bool retire = false;
      installe_crochet_echec([&](Operation op, std::string_view chemin) {
        if (retire) ::raise(SIGKILL);
        if (op == Operation::suppression && chemin.find("livraison_") != std::string_view::npos &&
            chemin.ends_with(".txt")) {
          if (!apres) ::raise(SIGKILL);
          retire = true;
        }
        return false;
      });
      importe();
    });
  }
  void verifie_applique_une_fois() {
    EXPECT_EQ(b.article(1).stock(), 16.0f);
    EXPECT_EQ(b.article(2).stock(), 3.5f);
    EXPECT_EQ(b.mouvement(0).poste(), 3);
    EXPECT_EQ(lit_octets(b.caisse() / "W_CAIREC.WDO").size(), 4u * 64u);
    EXPECT_FALSE(fs::exists(b.import() / nom));
    EXPECT_FALSE(analyse_presente());
    EXPECT_FALSE(fs::exists(reprise));
  }
  // Sent again: refused, nothing applied.
  void verifie_renvoi_refuse() {
    b.depose(nom, contenu);
    EXPECT_EQ(reimporte(), Lignes{deja_traite + echappe()});
    verifie_applique_une_fois();
  }
};

// Killed at the removal from import: the resume finds the received file by its whole name.
TEST_F(RepriseNomLong, TueAuRetraitLeFichierEstAppliqueUneFois) {
  b.depose(nom, contenu);
  ASSERT_TRUE(tue_au_retrait(false));
  ASSERT_TRUE(fs::exists(b.import() / nom));
  EXPECT_EQ(reimporte(), (Lignes{"Traitement : " + echappe(), ligne_pain("2.00"),
                                 ligne_cafe("1.00"), ligne_pain("4.00")}));
  verifie_applique_une_fois();
  verifie_renvoi_refuse();
}

// Stopped by the system mid-file: finished by the next exchange, its re-send refused.
TEST_F(RepriseNomLong, ArretEnCoursDeFichierPuisRenvoiRefuse) {
  b.depose(nom, contenu);
  {
    int notes = 0;
    const EchecInjecte arret([&](Operation op, std::string_view chemin) {
      if (op == Operation::ecriture && chemin == reprise && ++notes == 2) demande_arret();
      return false;
    });
    importe();
  }
  oublie_arret();
  ASSERT_TRUE(fs::exists(reprise));
  ASSERT_EQ(b.mouvement(0).poste(), 2);
  EXPECT_EQ(reimporte().front(), "Reprise : " + echappe() + " \xE0 partir de l'enregistrement 3");
  verifie_applique_une_fois();
  verifie_renvoi_refuse();
}

// Killed while the file was taken, the import folder away at the restart (a share mounted after
// login): the resume waits, journaled, and settles it once the folder is back.
TEST_F(RepriseNomLong, PriseImportInaccessibleLaRepriseAttend) {
  b.depose(nom, contenu);
  ASSERT_TRUE(tue_au_retrait(false));
  const fs::path ailleurs = b.import().parent_path() / "import_absent";
  fs::rename(b.import(), ailleurs);
  const std::string travail = lit_octets("prov_stk_ana_ron.txt");
  const std::string suivi = lit_octets(reprise);
  for (int essai = 0; essai < 2; ++essai) {
    const Lignes attendu{"Reprise en attente, dossier import inaccessible : " + echappe()};
    EXPECT_EQ(reimporte(), attendu);
    EXPECT_EQ(b.article(1).stock(), 10.0f);
    EXPECT_EQ(b.mouvement(0).poste(), 0);
    EXPECT_EQ(lit_octets("prov_stk_ana_ron.txt"), travail);
    EXPECT_EQ(lit_octets(reprise), suivi);
  }
  fs::rename(ailleurs, b.import());
  reimporte();
  verifie_applique_une_fois();
  verifie_renvoi_refuse();
}

// Killed right after the removal: finished from the "taken" state, the file counts as applied
// with its real size and bytes.
TEST_F(RepriseNomLong, FiniDepuisLaPriseLeFichierEstNoteApplique) {
  b.depose(nom, contenu);
  ASSERT_TRUE(tue_au_retrait(true));
  ASSERT_FALSE(fs::exists(b.import() / nom));
  ASSERT_TRUE(analyse_presente());
  EXPECT_EQ(reimporte().front(), "Reprise : " + echappe() + " \xE0 partir de l'enregistrement 1");
  verifie_applique_une_fois();
  verifie_renvoi_refuse();
}

// Killed in the hook of every file operation n of an exchange, so between any two.
TEST_F(Reprise, TueEntreDeuxOperationsQuelconquesChaqueRecordAppliqueUneFois) {
  const GroupesDeQuatre groupes;
  int operations = 0;
  b.depose("m.txt", fichier_mixte);
  {
    const EchecInjecte compte([&](Operation, std::string_view) {
      ++operations;
      return false;
    });
    importe();
  }
  ASSERT_GT(operations, 40);
  std::mt19937 g(5);
  for (int n = 1; n <= operations; ++n) {
    SCOPED_TRACE("killed at operation " + std::to_string(n));
    b.ecrit_caisse(articles_boutique());
    fs::remove(b.fichier_erreurs());
    fs::remove(b.import() / "m.old");
    fs::remove(nom_fichier_appliques);  // a fresh shop, which never had m.txt
    b.depose("m.txt", fichier_mixte);
    const auto tue_a = [&](int k) {
      return dans_un_enfant([&] {
        int vues = 0;
        installe_crochet_echec([&](Operation, std::string_view) {
          if (++vues == k) ::raise(SIGKILL);
          return false;
        });
        importe();
      });
    };
    EXPECT_TRUE(tue_a(n));
    // Every other time the restart is killed too, somewhere.
    if (n % 2 == 0) tue_a(static_cast<int>(g() % 60) + 1);
    reimporte();
    verifie_mixte_applique_une_fois();
    EXPECT_FALSE(fs::exists(b.import() / "m.txt"));
    EXPECT_EQ(lit_octets(b.import() / "m.old"), fichier_mixte);
    for (const std::string& ligne : b.fenetre.journal)
      EXPECT_FALSE(ligne.starts_with("Reprise impossible")) << ligne;
    if (HasFailure()) break;
  }
}

#endif

// A power cut before any operation of applying a file, every file as the disk holds it or as the
// system's cache does, in any combination. The disk is modelled strictly: a file's bytes reach
// it only through that file's own sync (kept with the file, so a rename carries them), a
// folder's sync keeps its names only, and a file never synced is empty there. The restart must
// apply every record exactly once, whatever it finds. PONTEX_COUPURES_COMPLET=1 tries every
// combination; by default each operation is tried all on disk and in one combination drawn.
class CoupureDeCourant : public Reprise {
 protected:
  using Contenu = std::optional<std::string>;
  struct Etat {
    std::vector<Contenu> disque, cache;
  };

  // Records every state a power cut could leave, before each file operation of `travail`.
  template <typename F>
  std::vector<Etat> observe(const std::vector<fs::path>& suivis, F travail) {
    const auto nom_de = [&](std::string_view chemin) -> std::optional<std::size_t> {
      for (std::size_t f = 0; f < suivis.size(); ++f) {
        const std::string nom = suivis[f].filename().string();
        if (chemin.size() < nom.size() || chemin.substr(chemin.size() - nom.size()) != nom)
          continue;
        const std::size_t avant = chemin.size() - nom.size();
        if (avant == 0 || chemin[avant - 1] == '\\' || chemin[avant - 1] == '/') return f;
      }
      return std::nullopt;
    };
    // Per name, the file (an id) under it in the cache and on the disk; per file, the bytes
    // its last sync put on the disk.
    std::vector<int> en_cache(suivis.size(), -1), sur_disque(suivis.size(), -1);
    std::map<int, std::string> synchronise;
    int prochain = 0;
    std::vector<Contenu> vu;
    for (std::size_t f = 0; f < suivis.size(); ++f) {
      vu.push_back(lit(suivis[f]));
      if (vu[f]) {
        en_cache[f] = sur_disque[f] = prochain;
        synchronise[prochain++] = *vu[f];
      }
    }
    std::vector<std::string> renommage;  // the names a rename under way was called with
    std::vector<Etat> etats;
    const EchecInjecte espion([&](Operation op, std::string_view chemin) {
      std::vector<Contenu> cache;
      for (const fs::path& p : suivis) cache.push_back(lit(p));
      // What the last operation did to the names.
      if (renommage.size() >= 2) {
        const auto vers = nom_de(renommage[0]), de = nom_de(renommage[1]);
        if (vers && de && !cache[*de] && cache[*vers]) {
          en_cache[*vers] = en_cache[*de];
          en_cache[*de] = -1;
        }
      }
      if (op != Operation::renommage) renommage.clear();
      for (std::size_t f = 0; f < suivis.size(); ++f) {
        if (!cache[f]) en_cache[f] = -1;
        if (cache[f] && en_cache[f] < 0) en_cache[f] = prochain++;
      }
      vu = cache;
      Etat e;
      e.cache = cache;
      for (std::size_t f = 0; f < suivis.size(); ++f) {
        if (sur_disque[f] < 0) {
          e.disque.push_back(std::nullopt);
        } else {
          const auto s = synchronise.find(sur_disque[f]);
          e.disque.push_back(s == synchronise.end() ? std::string() : s->second);
        }
      }
      etats.push_back(e);
      if (op == Operation::renommage) renommage.emplace_back(chemin);
      if (op != Operation::synchronisation) return false;
      if (const auto f = nom_de(chemin); f && cache[*f]) synchronise[en_cache[*f]] = *cache[*f];
      for (std::size_t f = 0; f < suivis.size(); ++f) {
        // The folder named by its last component: "" for the current one.
        std::string_view d = chemin;
        while (!d.empty() && (d.back() == '\\' || d.back() == '/')) d.remove_suffix(1);
        d.remove_prefix(std::min(d.size(), d.find_last_of("\\/") + 1));
        const bool ce_dossier =
            suivis[f].parent_path().empty()
                ? chemin.empty()
                : !chemin.empty() && d == suivis[f].parent_path().filename().string();
        if (ce_dossier) sur_disque[f] = en_cache[f];
      }
      return false;
    });
    travail();
    return etats;
  }
  // What applying a file writes: the progress file, the working file, the
  // group notes (each with its temporary name), the register's article and
  // movement files and the day's error file, at indexes 0 to 9.
  std::vector<fs::path> fichiers_de_l_application() {
    return {reprise,
            reprise + ".tmp",
            "prov_stk_ana_ron.txt",
            "reprise_groupes_1.wdo",
            "reprise_groupes_1.wdo.tmp",
            "reprise_groupes_2.wdo",
            "reprise_groupes_2.wdo.tmp",
            b.caisse() / "w_caiar4.wdo",
            b.caisse() / "W_CAIREC.WDO",
            b.fichier_erreurs()};
  }
  static Contenu lit(const fs::path& p) {
    if (!fs::is_regular_file(p)) return std::nullopt;
    return lit_octets(p);
  }
  // A file put back as an hour old: a delivery just written is left for the next exchange.
  static void pose(const fs::path& p, const Contenu& c) {
    if (!c) {
      fs::remove(p);
      return;
    }
    ecrit_octets(p, *c);
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
};

// The whole exchange of two deliveries: each taken from the import folder (the earlier m.txt's
// copy moved to import\histo), applied in groups, entered among the applied files, the next one
// started, then the stock export written. After the cut, exchanges until nothing waits.
TEST_F(CoupureDeCourant, ChaqueRecordAppliqueUneFoisOuQueTombeLaCoupure) {
  const GroupesDeQuatre groupes;
  const std::string appliques(nom_fichier_appliques), histo = "m_20261205210709.old";
  std::vector<fs::path> suivis = fichiers_de_l_application();
  suivis.insert(suivis.end(),
                {appliques, appliques + ".tmp", b.import() / "m.txt", b.import() / "n.txt",
                 b.import() / "m.old", b.import() / "n.old", b.import() / "histo" / histo,
                 b.import() / "histo" / "m_20261205210709_2.old",
                 b.exporte() / "stock_20261205210709.txt", b.histo() / "stock_20261205210709.txt"});
  const std::size_t articles = 7, mouvements = 8, erreurs_jour = 9, registre = 10, exporte = 18;
  b.depose("m.old", "BOU-001\t9\n");  // an earlier delivery under the same name
  b.depose("m.txt", fichier_mixte);
  b.depose("n.txt", "1000000000003\t1\n");
  std::vector<Contenu> depart;
  for (const fs::path& p : suivis) depart.push_back(lit(p));
  const std::vector<Etat> etats = observe(suivis, [&] { cycle(); });
  EXPECT_EQ(b.stock(1), 14.0f);
  EXPECT_EQ(b.stock(2), 4.0f);
  EXPECT_EQ(b.stock(3), -1.0f);
  EXPECT_EQ(b.mouvement(0).poste(), 6);
  EXPECT_EQ(erreurs(), "Erreur reference : INCONNU 1 \r\nLigne incomplete : Z\t\r\n");
  EXPECT_EQ(lit(suivis[16]), "BOU-001\t9\n");
  ASSERT_GT(etats.size(), 200u);
  std::vector<Contenu> fin;
  for (const fs::path& p : suivis) fin.push_back(lit(p));
  const bool complet = std::getenv("PONTEX_COUPURES_COMPLET") != nullptr;
  std::mt19937 g(23);
  int une_fois = 0, doubles = 0, perdus = 0;
  std::string premier_echec;
  for (std::size_t n = 0; n < etats.size(); ++n) {
    const Etat& e = etats[n];
    std::vector<std::size_t> differents;
    for (std::size_t f = 0; f < suivis.size(); ++f)
      if (e.disque[f] != e.cache[f]) differents.push_back(f);
    const unsigned toutes = 1u << differents.size();
    // Bit set: that file as in the cache. By default one state an operation: every file as on
    // the disk, or (every other operation) one combination drawn.
    std::vector<unsigned> choix = {0};
    if (complet) {
      for (unsigned c = 1; c < toutes; ++c) choix.push_back(c);
    } else if (toutes > 1 && n % 2 == 1) {
      choix = {static_cast<unsigned>(1 + g() % (toutes - 1))};
    }
    for (const unsigned c : choix) {
      const std::string cas = "power cut before operation " + std::to_string(n + 1) +
                              ", files from the cache " + std::to_string(c);
      std::vector<Contenu> etat = e.disque;
      for (std::size_t d = 0; d < differents.size(); ++d)
        if (c & (1u << d)) etat[differents[d]] = e.cache[differents[d]];
      for (std::size_t f = 0; f < suivis.size(); ++f) pose(suivis[f], etat[f]);
      // The server may collect an export at any moment: never one cut short.
      if (etat[exporte]) {
        EXPECT_EQ(etat[exporte], fin[exporte]) << cas;
      }
      b.fenetre.journal.clear();
      const auto en_attente = [&] {
        return analyse_presente() || fs::exists(reprise) || fs::exists(suivis[12]) ||
               fs::exists(suivis[13]);
      };
      for (int essai = 0; essai < 3 && en_attente(); ++essai) importe();
      for (const std::string& ligne : b.fenetre.journal) {
        EXPECT_EQ(ligne.find("suivi de reprise illisible"), std::string::npos) << cas << ligne;
        EXPECT_FALSE(ligne.starts_with("Reprise impossible")) << cas << ligne;
      }
      EXPECT_FALSE(en_attente()) << cas;
      // Each delivery's kept copy whole, the earlier one's never lost.
      for (const std::size_t f : {14u, 15u, 16u}) EXPECT_EQ(lit(suivis[f]), fin[f]) << cas << f;
      // Outcome: the register and the error file exactly as one application leaves them, both
      // deliveries entered once among the applied files (a re-send is refused).
      const bool pareil =
          lit(suivis[articles]) == fin[articles] && lit(suivis[mouvements]) == fin[mouvements] &&
          lit(suivis[erreurs_jour]) == fin[erreurs_jour] && lit(suivis[registre]) == fin[registre];
      const std::string mvts = lit(suivis[mouvements]).value_or("");
      if (pareil) {
        ++une_fois;
      } else if (mvts.size() > fin[mouvements]->size() ||
                 lit(suivis[erreurs_jour]).value_or("").size() > fin[erreurs_jour]->size() ||
                 b.stock(1) > 14.0f || b.stock(2) > 4.0f || b.stock(3) > -1.0f) {
        ++doubles;
      } else {
        ++perdus;
      }
      if (!pareil && premier_echec.empty()) premier_echec = cas;
      const std::int32_t compte = b.mouvement(0).poste();
      EXPECT_EQ(static_cast<std::size_t>(compte + 1) * 64u, mvts.size()) << cas;
    }
  }
  std::printf(
      "power cut before each of %zu operations, %d states: %d exactly once, %d with "
      "something doubled, %d with something lost\n",
      etats.size(), une_fois + doubles + perdus, une_fois, doubles, perdus);
  EXPECT_EQ(doubles + perdus, 0) << "first: " << premier_echec;
  for (std::size_t f = 0; f < suivis.size(); ++f) pose(suivis[f], depart[f]);
}

// A second power cut while the restart settles the first one's group: the next restart still
// leaves every record applied once. The first cut keeps one of the register's files from the
// cache and the other from the disk, so that the settling has writes to make.
TEST_F(CoupureDeCourant, UneCoupurePendantLaRepriseAussi) {
  const GroupesDeQuatre groupes;
  const std::vector<fs::path> suivis = fichiers_de_l_application();
  const std::size_t articles = 7, mouvements = 8, erreurs_jour = 9;
  b.ecrit_analyse(fichier_mixte);
  std::vector<Contenu> depart;
  for (const fs::path& p : suivis) depart.push_back(lit(p));
  const std::vector<Etat> etats = observe(suivis, [&] { applique_analyse(b.valeurs, b.fenetre); });
  std::vector<Contenu> fin;
  for (const fs::path& p : suivis) fin.push_back(lit(p));
  std::mt19937 g(29);
  int essais = 0;
  for (std::size_t n = etats.size() / 4; n < etats.size(); n += etats.size() / 4) {
    for (const std::size_t du_cache : {articles, mouvements}) {
      std::vector<Contenu> premier = etats[n].disque;
      premier[du_cache] = etats[n].cache[du_cache];
      for (std::size_t f = 0; f < suivis.size(); ++f) pose(suivis[f], premier[f]);
      const std::vector<Etat> reprise_etats =
          observe(suivis, [&] { applique_analyse(b.valeurs, b.fenetre); });
      for (std::size_t m = 0; m < reprise_etats.size(); ++m) {
        const std::string cas = "first cut before operation " + std::to_string(n + 1) +
                                ", second before operation " + std::to_string(m + 1);
        std::vector<Contenu> etat = reprise_etats[m].disque;
        if (g() % 2 == 0) etat = reprise_etats[m].cache;  // a kill, not a power cut
        for (std::size_t f = 0; f < suivis.size(); ++f) pose(suivis[f], etat[f]);
        for (int essai = 0; essai < 3 && (analyse_presente() || fs::exists(reprise)); ++essai)
          applique_analyse(b.valeurs, b.fenetre);
        ++essais;
        EXPECT_FALSE(analyse_presente()) << cas;
        EXPECT_TRUE(lit(suivis[articles]) == fin[articles] &&
                    lit(suivis[mouvements]) == fin[mouvements] &&
                    lit(suivis[erreurs_jour]) == fin[erreurs_jour])
            << cas;
        if (HasFailure()) return;
      }
    }
  }
  EXPECT_GT(essais, 50);
  for (std::size_t f = 0; f < suivis.size(); ++f) pose(suivis[f], depart[f]);
}

}  // namespace
}  // namespace pontex::test

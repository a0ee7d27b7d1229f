// The status file monitoring reads, and pontex-etat's verdict and exit status.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/etat_echange.h"
#include "pontex/shared/encodage.h"
#include "pontex/shared/moment.h"
#include "tests/support/boutique.h"

namespace pontex::test {
namespace {

using Lignes = std::vector<std::string>;

class EtatFichier : public Echange {
 protected:
  // One exchange as the window runs it, its journal counted, then the
  // status file written; the file read back.
  EtatEchange echange_et_etat() {
    CompteurEchange compteur(b.fenetre);
    b.fenetre.File1.rafraichit();
    traite_import(b.valeurs, compteur);
    b.fenetre.File2.rafraichit();
    genere_sorties(b.valeurs, compteur);
    avant_ = secondes_maintenant();
    EXPECT_TRUE(ecrit_etat_echange(compteur.bilan(), "30", "2021.2", 4242));
    apres_ = secondes_maintenant();
    const auto e = lit_texte_etat(lit_octets(b.dossier.chemin() / "pontex_etat.json"));
    EXPECT_TRUE(e.has_value());
    return e.value_or(EtatEchange{});
  }
  std::int64_t avant_ = 0, apres_ = 0;
};

TEST_F(EtatFichier, EchangeReussiComptesEtHeures) {
  b.depose("a.txt", "BOU-001\t2\nEPI-002\t-1\n");
  b.depose("b.txt", "BOU-001\t1\n");
  const EtatEchange e = echange_et_etat();
  EXPECT_EQ(e.version, "2021.2");
  EXPECT_EQ(e.processus, 4242);
  EXPECT_EQ(e.fichiers_pris, 2);
  EXPECT_EQ(e.mouvements_appliques, 3);
  EXPECT_EQ(e.erreurs, 0);
  EXPECT_EQ(e.refus, 0);
  EXPECT_EQ(e.derniere_erreur, "");
  EXPECT_GE(e.dernier_echange->secondes, avant_);
  EXPECT_LE(e.dernier_echange->secondes, apres_);
  ASSERT_TRUE(e.dernier_echange_bon.has_value());
  EXPECT_EQ(e.dernier_echange_bon->secondes, e.dernier_echange->secondes);
  EXPECT_EQ(e.minutes_entre_echanges, 30);
  // Thirty minutes of countdown, then relvano's two seconds and the five of the start countdown.
  EXPECT_EQ(e.prochain_echange->secondes, e.dernier_echange->secondes + 30 * 60 + 7);
  // Written whole under its name, nothing left beside it.
  for (const std::string& nom : Boutique::fichiers(b.dossier.chemin()))
    EXPECT_FALSE(nom.ends_with(".tmp")) << nom;
  const std::string texte = lit_octets(b.dossier.chemin() / "pontex_etat.json");
  EXPECT_NE(texte.find("\"mouvements_appliques\": 3,"), std::string::npos) << texte;
  EXPECT_NE(texte.find("\"dernier_echange\": \"" + format_iso8601(*e.dernier_echange) + "\""),
            std::string::npos)
      << texte;
}

TEST_F(EtatFichier, EchangeEchoueGardeLeDernierReussiDuFichierPrecedent) {
  // The previous process's file: its last good exchange lies days back.
  ecrit_octets(b.dossier.chemin() / "pontex_etat.json",
               "{\"dernier_echange\": \"2026-12-01T08:00:07+01:00\",\n"
               " \"dernier_echange_bon\": \"2026-11-30T23:30:00+01:00\",\n"
               " \"minutes_entre_echanges\": 30,\n"
               " \"prochain_echange\": \"2026-12-01T08:30:14+01:00\", \"erreurs\": 2}\n");
  b.depose("a.txt", "BOU-001\t2\nINCONNU\t1.5\nEPI-002\t1\n");
  // A file the server is still writing is left for the next exchange.
  ecrit_octets(b.import() / "z.txt", "EPI-002\t1\n");
  const EtatEchange e = echange_et_etat();
  EXPECT_EQ(e.fichiers_pris, 1);
  EXPECT_EQ(e.mouvements_appliques, 2);
  EXPECT_EQ(e.erreurs, 1);
  EXPECT_EQ(e.refus, 1);
  EXPECT_EQ(e.derniere_erreur, "Fichier non trait\u00e9 : z.txt");  // UTF-8 in the file
  ASSERT_TRUE(e.dernier_echange_bon.has_value());
  EXPECT_EQ(format_iso8601(*e.dernier_echange_bon), "2026-11-30T23:30:00+01:00");
  EXPECT_GE(e.dernier_echange->secondes, avant_);
  // The next good exchange is the new last good one.
  fs::remove(b.import() / "z.txt");
  b.depose("c.txt", "BOU-001\t1\n");
  const EtatEchange bon = echange_et_etat();
  EXPECT_EQ(bon.erreurs + bon.refus, 0);
  ASSERT_TRUE(bon.dernier_echange_bon.has_value());
  EXPECT_EQ(bon.dernier_echange_bon->secondes, bon.dernier_echange->secondes);
}

TEST_F(EtatFichier, TexteDErreurApresUneReferenceInconnueEtSansEchangeReussi) {
  // A damaged previous file holds no last good exchange worth keeping.
  ecrit_octets(b.dossier.chemin() / "pontex_etat.json", "{\"dernier_echange\": \"2026-");
  b.depose("a.txt", "INCONNU\t1.5\n");
  const EtatEchange e = echange_et_etat();
  EXPECT_EQ(e.erreurs, 1);
  EXPECT_EQ(e.derniere_erreur, "1.50 x Erreur reference : INCONNU (a.txt, ligne 1)");
  EXPECT_FALSE(e.dernier_echange_bon.has_value());
  EXPECT_NE(
      lit_octets(b.dossier.chemin() / "pontex_etat.json").find("\"dernier_echange_bon\": null"),
      std::string::npos);
}

TEST_F(EtatFichier, RenommageRefuseLaisseLAncienEntierEtAucunTemporaire) {
  const std::string ancien =
      "{\"dernier_echange\": \"2026-12-01T08:00:07+01:00\", \"minutes_entre_echanges\": 30,"
      " \"prochain_echange\": \"2026-12-01T08:30:14+01:00\"}\n";
  ecrit_octets(b.dossier.chemin() / "pontex_etat.json", ancien);
  EchecInjecte echec([](Operation op, std::string_view chemin) {
    return op == Operation::renommage && chemin.ends_with("pontex_etat.json");
  });
  EXPECT_FALSE(ecrit_etat_echange(BilanEchange{}, "30", "2021.2", 1));
  EXPECT_EQ(lit_octets(b.dossier.chemin() / "pontex_etat.json"), ancien);
  EXPECT_EQ(Boutique::fichiers(b.dossier.chemin()), (Lignes{"pontex_etat.json"}));
}

// Each line is counted by the kind its writer gave it: a designation that reads like an error
// is a movement, and every refusal and stop counts.
TEST_F(EtatFichier, ChaqueLigneCompteeParSaSorteJamaisParSonTexte) {
  auto articles = articles_boutique();
  articles[0].designation = "Erreur stock : PAIN";
  articles[1].designation = "Fichier non trait\xE9 : CAF\xC9";
  b.ecrit_caisse(articles);
  b.depose("a.txt", "BOU-001\t2\nEPI-002\t1\nINCONNU\t1\nBOU-001\t1,5\nEPI-0");
  const EtatEchange e = echange_et_etat();
  EXPECT_EQ(e.fichiers_pris, 1);
  EXPECT_EQ(e.mouvements_appliques, 2);
  // The unknown reference, the decimal comma and the cut last line.
  EXPECT_EQ(e.erreurs, 3);
  EXPECT_EQ(e.refus, 0);
  const std::vector<SorteLigne> attendues = {SorteLigne::fichier_pris, SorteLigne::mouvement,
                                             SorteLigne::mouvement,    SorteLigne::erreur,
                                             SorteLigne::erreur,       SorteLigne::erreur,
                                             SorteLigne::information,  SorteLigne::information};
  EXPECT_EQ(b.fenetre.sortes, attendues) << ::testing::PrintToString(b.fenetre.journal);
}

// Whenever no exchange can run, or Pontex ends without its restart, the file says so at once
// with its reason; the last exchange and the last good one stay as they were, and monitoring
// never reads it as in step.
TEST_F(EtatFichier, SansEchangeLeFichierDitPourquoiEtJamaisOK) {
  b.depose("a.txt", "BOU-001\t2\n");
  const EtatEchange bon = echange_et_etat();
  ASSERT_TRUE(bon.dernier_echange_bon.has_value());
  const std::int64_t t = bon.dernier_echange->secondes;
  struct Cas {
    EtatPontex etat;
    std::string nom;
    std::string raison;  // as journaled, Windows-1252
    int code;
    std::string debut;
  };
  const std::vector<Cas> cas = {
      {EtatPontex::verrou_refuse, "verrou_refuse", "Pontex.verrou: Is a directory", 1,
       "PONTEX WARNING - folder lock refused: Pontex.verrou: Is a directory (since "},
      {EtatPontex::transit_absent, "transit_absent", "Dossier de transit absent : /t/import", 1,
       "PONTEX WARNING - transit folder missing: Dossier de transit absent : /t/import"},
      {EtatPontex::caisse_absente, "caisse_absente",
       "Donn\xE9"
       "es de caisse absentes : /c/",
       1, "PONTEX WARNING - register data away: Donn\u00e9es de caisse absentes : /c/ (since "},
      {EtatPontex::journal_non_ecrit, "journal_non_ecrit",
       "Journal non \xE9"
       "crit",
       1, "PONTEX WARNING - journal not written: "},
      {EtatPontex::arret_systeme, "arret_systeme", "Arr\xEAt demand\xE9 par le syst\xE8me", 1,
       "PONTEX WARNING - stopped by the system: "},
      {EtatPontex::arrete_utilisateur, "arrete_utilisateur",
       "Sortie du logiciel confirm\xE9"
       "e",
       2, "PONTEX CRITICAL - stopped by the user: Sortie du logiciel confirm\u00e9e (since "},
      {EtatPontex::relance_impossible, "relance_impossible", "relvano.exe: No such file", 2,
       "PONTEX CRITICAL - restart impossible: relvano.exe: No such file (since "},
  };
  for (const Cas& c : cas) {
    ASSERT_TRUE(ecrit_etat_hors_echange(c.etat, c.raison, "30", "2021.2", 77)) << c.nom;
    const std::string texte = lit_octets(b.dossier.chemin() / "pontex_etat.json");
    EXPECT_NE(texte.find("\"etat\": \"" + c.nom + "\""), std::string::npos) << texte;
    const auto e = lit_texte_etat(texte);
    ASSERT_TRUE(e.has_value()) << texte;
    EXPECT_EQ(e->etat, c.etat);
    EXPECT_EQ(e->raison, utf8_depuis_cp1252(c.raison));
    EXPECT_EQ(e->processus, 77);
    // The last exchange as it was, figures and all.
    ASSERT_TRUE(e->dernier_echange_bon.has_value()) << c.nom;
    EXPECT_EQ(e->dernier_echange_bon->secondes, t) << c.nom;
    EXPECT_EQ(e->dernier_echange->secondes, t) << c.nom;
    EXPECT_EQ(e->mouvements_appliques, 1) << c.nom;
    ASSERT_TRUE(e->depuis.has_value());
    // Read right after, and half an hour after: never in step.
    const std::int64_t maintenant = secondes_maintenant();
    for (const std::int64_t plus : {std::int64_t{0}, std::int64_t{30 * 60}}) {
      const Verdict v = juge_etat(texte, maintenant + plus);
      EXPECT_EQ(v.code, c.code) << c.nom << " " << v.ligne;
      EXPECT_TRUE(v.ligne.starts_with(c.debut)) << v.ligne;
      EXPECT_NE(v.ligne.find("last good exchange " + format_iso8601(*bon.dernier_echange_bon)),
                std::string::npos)
          << v.ligne;
    }
  }
  // A person's quit and a failed restart leave no exchange due; the waits do.
  EXPECT_NE(lit_octets(b.dossier.chemin() / "pontex_etat.json").find("\"prochain_echange\": null"),
            std::string::npos);
  // The next exchange that runs is in step again.
  b.depose("c.txt", "BOU-001\t1\n");
  const EtatEchange apres = echange_et_etat();
  EXPECT_EQ(apres.etat, EtatPontex::echange);
  EXPECT_EQ(apres.raison, "");
  EXPECT_EQ(
      juge_etat(lit_octets(b.dossier.chemin() / "pontex_etat.json"), secondes_maintenant()).code,
      0);
}

// An outage that lasts is one outage from its first time, and turns CRITICAL once no exchange
// has run for twice the period and five minutes, as a silent Pontex does; with no exchange ever,
// it is counted from its start.
TEST(EtatHorsEchange, UnePanneQuiDureDevientCritique) {
  const std::int64_t t = 1796648737;
  EtatEchange avant = etat_apres_echange(BilanEchange{}, "30", t, std::nullopt);
  const EtatEchange premiere =
      etat_hors_echange(EtatPontex::verrou_refuse, "refus", "30", t + 1807, avant);
  const EtatEchange seconde =
      etat_hors_echange(EtatPontex::verrou_refuse, "refus", "30", t + 3614, premiere);
  ASSERT_TRUE(seconde.depuis.has_value());
  EXPECT_EQ(seconde.depuis->secondes, t + 1807);
  EXPECT_EQ(seconde.prochain_echange->secondes, t + 3614 + 30 * 60 + 7);
  const std::string texte = texte_etat(seconde);
  EXPECT_EQ(juge_etat(texte, t + 65 * 60).code, 1);
  const Verdict v = juge_etat(texte, t + 65 * 60 + 1);
  EXPECT_EQ(v.code, 2);
  EXPECT_TRUE(v.ligne.starts_with(
      "PONTEX CRITICAL - stopped: no exchange for 65 min, folder lock refused: refus"))
      << v.ligne;
  // Another state starts its own time.
  const EtatEchange autre =
      etat_hors_echange(EtatPontex::transit_absent, "import", "30", t + 3700, seconde);
  EXPECT_EQ(autre.depuis->secondes, t + 3700);
  // Never an exchange here: the file still reads, and counts from the state's start.
  const EtatEchange neuf =
      etat_hors_echange(EtatPontex::caisse_absente, "caisse", "30", t, std::nullopt);
  const std::string texte_neuf = texte_etat(neuf);
  EXPECT_NE(texte_neuf.find("\"dernier_echange\": null"), std::string::npos) << texte_neuf;
  EXPECT_EQ(juge_etat(texte_neuf, t + 10).code, 1);
  EXPECT_TRUE(juge_etat(texte_neuf, t + 10).ligne.find("last exchange none") != std::string::npos);
  EXPECT_EQ(juge_etat(texte_neuf, t + 65 * 60 + 1).code, 2);
}

// A write of Pontex's own files that failed (the journal, the status file) keeps the exchange
// from being good, and monitoring says so.
TEST(EtatHorsEchange, GarantieNonTenueNEstPasUnBonEchange) {
  const std::int64_t t = 1796648737;
  BilanEchange bilan;
  bilan.mouvements_appliques = 4;
  bilan.garanties_non_tenues = 2;
  EtatEchange precedent;
  precedent.dernier_echange_bon = Moment{t - 3600, 3600};
  const EtatEchange e = etat_apres_echange(bilan, "30", t, precedent);
  EXPECT_EQ(e.dernier_echange_bon->secondes, t - 3600);
  const Verdict v = juge_etat(texte_etat(e), t + 5);
  EXPECT_EQ(v.code, 1);
  EXPECT_TRUE(
      v.ligne.starts_with("PONTEX WARNING - 2 write(s) of the journal or status file "
                          "failed"))
      << v.ligne;
  EXPECT_EQ(lit_texte_etat(texte_etat(e))->garanties_non_tenues, 2);
}

// A guarantee another part of the exchange could not keep (the record of applied files, the
// progress record) is journaled as an error line: the exchange is then not a good one.
TEST_F(EtatFichier, UneLigneDErreurHorsFichierDErreursEmpecheLeBonEchange) {
  b.depose("a.txt", "BOU-001\t2\n");
  const EtatEchange bon = echange_et_etat();
  CompteurEchange compteur(b.fenetre);
  compteur.ajoute_journal(
      "fichiers_appliques.wdo non \xE9"
      "crit",
      SorteLigne::erreur);
  EXPECT_FALSE(compteur.bilan().bon());
  ASSERT_TRUE(ecrit_etat_echange(compteur.bilan(), "30", "2021.2", 1));
  const auto e = lit_texte_etat(lit_octets(b.dossier.chemin() / "pontex_etat.json"));
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->dernier_echange_bon->secondes, bon.dernier_echange_bon->secondes);
  EXPECT_EQ(e->derniere_erreur, "fichiers_appliques.wdo non \u00e9crit");
  EXPECT_EQ(
      juge_etat(lit_octets(b.dossier.chemin() / "pontex_etat.json"), secondes_maintenant()).code,
      1);
}

TEST(MinutesAvantRelance, AuFilDuCompteAReboursDeRelance) {
  EXPECT_EQ(minutes_avant_relance("30"), 30);
  EXPECT_EQ(minutes_avant_relance("1"), 1);
  // Empty, zero, negative or no number: the first tick restarts.
  EXPECT_EQ(minutes_avant_relance(""), 1);
  EXPECT_EQ(minutes_avant_relance("0"), 1);
  EXPECT_EQ(minutes_avant_relance("-5"), 1);
  EXPECT_EQ(minutes_avant_relance("abc"), 1);
  EXPECT_EQ(minutes_avant_relance("1e300"), 366 * 24 * 60);
}

TEST(Iso8601, HeureLocaleAvecSonDecalage) {
  // 2026-12-07 13:05:37 UTC.
  const std::int64_t t = 1796648737;
  EXPECT_EQ(format_iso8601({t, 3600}), "2026-12-07T14:05:37+01:00");
  EXPECT_EQ(format_iso8601({t, -(3 * 3600 + 1800)}), "2026-12-07T09:35:37-03:30");
  EXPECT_EQ(format_iso8601({t, 0}), "2026-12-07T13:05:37+00:00");
  for (const std::string texte :
       {"2026-12-07T14:05:37+01:00", "2026-12-07T09:35:37-03:30", "2026-12-07T13:05:37Z"}) {
    const auto m = lit_iso8601(texte);
    ASSERT_TRUE(m.has_value()) << texte;
    EXPECT_EQ(m->secondes, t) << texte;
  }
  EXPECT_EQ(lit_iso8601("2026-12-31T23:59:59+01:00")->secondes + 3600,
            lit_iso8601("2027-01-01T00:59:59+01:00")->secondes + 0);
  for (const std::string texte : {"", "2026-12-07", "2026-02-30T10:00:00Z", "2026-12-07T24:00:00Z",
                                  "2026-12-07T14:05:37+1:00", "2026-12-07T14:05:37+01:00x"})
    EXPECT_FALSE(lit_iso8601(texte).has_value()) << texte;
  // This machine's offset: the local text reads back as the same instant.
  const Moment ici = moment_local(t);
  EXPECT_EQ(lit_iso8601(format_iso8601(ici))->secondes, t);
}

// --- pontex-etat's verdict ---------------------------------------------------

std::string etat_texte(std::int64_t dernier, int minutes, std::int64_t erreurs,
                       const std::string& derniere_erreur = "") {
  EtatEchange e;
  e.version = "2021.2";
  e.dernier_echange = Moment{dernier, 3600};
  e.dernier_echange_bon = Moment{dernier - 7200, 3600};
  e.minutes_entre_echanges = minutes;
  e.prochain_echange = Moment{dernier + minutes * 60 + 7, 3600};
  e.fichiers_pris = 1;
  e.mouvements_appliques = 12;
  e.erreurs = erreurs;
  e.derniere_erreur = derniere_erreur;
  return texte_etat(e);
}

TEST(Verdict, AJourEnRetardArreteEtInconnu) {
  const std::int64_t t = 1796648737;  // last exchange, 14:05:37 local
  // In step up to two minutes past the next due time (14:35:44).
  Verdict v = juge_etat(etat_texte(t, 30, 0), t + 10);
  EXPECT_EQ(v.code, 0);
  EXPECT_EQ(v.ligne,
            "PONTEX OK - last exchange 2026-12-07T14:05:37+01:00: 1 file(s) taken, 12 movement(s) "
            "applied; next due 2026-12-07T14:35:44+01:00 | age=10s;1927;3900 fichiers=1 "
            "mouvements=12 erreurs=0 refus=0");
  EXPECT_EQ(juge_etat(etat_texte(t, 30, 0), t + 30 * 60 + 7 + 120).code, 0);
  // Late beyond.
  v = juge_etat(etat_texte(t, 30, 0), t + 30 * 60 + 7 + 121);
  EXPECT_EQ(v.code, 1);
  EXPECT_TRUE(
      v.ligne.starts_with("PONTEX WARNING - late: last exchange "
                          "2026-12-07T14:05:37+01:00, 32 min ago"))
      << v.ligne;
  // Stopped after twice the period and five minutes.
  EXPECT_EQ(juge_etat(etat_texte(t, 30, 0), t + 65 * 60).code, 1);
  v = juge_etat(etat_texte(t, 30, 0), t + 65 * 60 + 1);
  EXPECT_EQ(v.code, 2);
  EXPECT_TRUE(
      v.ligne.starts_with("PONTEX CRITICAL - stopped: last exchange "
                          "2026-12-07T14:05:37+01:00, 65 min ago"))
      << v.ligne;
  // Errors in the last exchange: a warning naming the last one and the
  // last good exchange, on one line whose text cannot end it early.
  v = juge_etat(etat_texte(t, 30, 2, "1,50 x Erreur reference : A|B\r\nC"), t + 10);
  EXPECT_EQ(v.code, 1);
  EXPECT_TRUE(v.ligne.starts_with(
      "PONTEX WARNING - 2 error(s) in the last exchange 2026-12-07T14:05:37+01:00, the last: "
      "1,50 x Erreur reference : A/B  C; last good exchange 2026-12-07T12:05:37+01:00 | "))
      << v.ligne;
  EXPECT_EQ(v.ligne.find('\n'), std::string::npos);
  // Refusals are their own figure beside the errors.
  {
    auto e = lit_texte_etat(etat_texte(t, 30, 2)).value();
    e.refus = 3;
    v = juge_etat(texte_etat(e), t + 10);
    EXPECT_NE(v.ligne.find(" erreurs=2 refus=3"), std::string::npos) << v.ligne;
    EXPECT_NE(v.ligne.find("5 error(s)"), std::string::npos) << v.ligne;
  }
  // Values Pontex never writes: a negative count, counts whose sum overflows, a date ahead of
  // the clock by more than a minute, a state it does not know.
  {
    const std::string bon = etat_texte(t, 30, 0);
    const auto remplace = [&](std::string texte, const std::string& de, const std::string& par) {
      const auto i = texte.find(de);
      EXPECT_NE(i, std::string::npos) << de;
      return texte.replace(i, de.size(), par);
    };
    for (const std::string& texte : {
             remplace(remplace(bon, "\"erreurs\": 0", "\"erreurs\": 9223372036854775807"),
                      "\"refus\": 0", "\"refus\": 1"),
             remplace(remplace(bon, "\"erreurs\": 0", "\"erreurs\": -3"), "\"refus\": 0",
                      "\"refus\": 3"),
             remplace(bon, "\"fichiers_pris\": 1", "\"fichiers_pris\": -1"),
             remplace(bon, "\"etat\": \"echange\"", "\"etat\": \"en_vacances\""),
         }) {
      v = juge_etat(texte, t + 10);
      EXPECT_EQ(v.code, 3) << texte << v.ligne;
      EXPECT_TRUE(v.ligne.starts_with("PONTEX UNKNOWN - ")) << v.ligne;
    }
    // Its last exchange 61 s ahead of this clock; 60 s is two clocks apart.
    EXPECT_EQ(juge_etat(bon, t - 60).code, 0);
    v = juge_etat(bon, t - 61);
    EXPECT_EQ(v.code, 3);
    EXPECT_EQ(v.ligne,
              "PONTEX UNKNOWN - pontex_etat.json holds a date ahead of this clock: "
              "2026-12-07T14:05:37+01:00");
  }
  // No file: never finished an exchange there.
  EXPECT_EQ(juge_etat(std::nullopt, t).code, 2);
  // Not a status file: unknown.
  for (const std::string& texte :
       {std::string(), std::string("{"), std::string("\x00\x01", 2), std::string("[1,2]"),
        etat_texte(t, 30, 0).substr(0, 60), std::string("{\"dernier_echange\": 3}"),
        std::string("{\"dernier_echange\": \"2026-12-07T14:05:37+01:00\", "
                    "\"minutes_entre_echanges\": 0, "
                    "\"prochain_echange\": \"2026-12-07T14:05:37+01:00\"}")})
    EXPECT_EQ(juge_etat(texte, t).code, 3) << texte;
}

}  // namespace
}  // namespace pontex::test

// The demo server's checks catch an exchange that lost, doubled or misreported a movement.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pontex/data/valeurs.h"
#include "pontex/exchange/echange.h"
#include "tests/support/dossier_temporaire.h"
#include "tests/support/fenetre_enregistreuse.h"
#include "tools/fabrique_caisse.h"
#include "tools/serveur_simule.h"

namespace pontex::serveur {
namespace {

namespace fs = std::filesystem;

bool contient(const std::vector<std::string>& anomalies, const std::string& morceau) {
  return std::ranges::any_of(
      anomalies, [&](const std::string& a) { return a.find(morceau) != std::string::npos; });
}

// The first line of a delivery that names a known article.
const LigneEnvoyee& connue(const Envoi& e) {
  return *std::ranges::find_if(e.lignes, [](const LigneEnvoyee& l) { return l.numero > 0; });
}

class ServeurSimule : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path racine = dossier_.chemin();
    for (const char* d : {"transit/import/histo", "transit/export/histo", "shop"})
      fs::create_directories(racine / d);
    fabrique::ParametresCaisse p;
    p.nombre_articles = 300;
    p.entrees_queue = 12;
    p.graine = 3;
    ASSERT_TRUE(fabrique::fabrique_caisse(dossier_.valeur_dossier() + "caisse\\", p));

    // The workstation writes its stocks with a decimal comma.
    const std::string configuration =
        "#TRANSIT#" + dossier_.valeur_dossier() + "transit\\ | shared\r\n#FICBASE#" +
        dossier_.valeur_dossier() + "caisse\\\r\n#REFARTI#1\r\n#NOM_STO#stock_\r\n#TIM_ANA#2\r\n";
    test::ecrit_octets(racine / "shop" / "Pontex.wdo", configuration);
    ASSERT_TRUE(lit_boutique((racine / "shop").string(), boutique_));
    applique_texte_configuration(configuration, valeurs_.config);
    valeurs_.caisse.met_dossier(valeurs_.config.ficbase);
    ASSERT_TRUE(lit_catalogue(boutique_, catalogue_));
  }

  Envoi livre(unsigned graine) {
    std::mt19937 tirage(graine);
    Envoi e = prepare_envoi(boutique_, catalogue_, tirage);
    EXPECT_TRUE(depose_envoi(boutique_, e, horloge_.maintenant()));
    return e;
  }

  fs::path import(const std::string& nom) const {
    return dossier_.chemin() / "transit" / "import" / nom;
  }

  // Pontex's exchange: the import folder, then the export. The received file is made older than the
  // delay by which Pontex leaves a file the server may still be writing.
  void echange() {
    for (const auto& f : fs::directory_iterator(dossier_.chemin() / "transit" / "import"))
      fs::last_write_time(f.path(), fs::file_time_type::clock::now() - std::chrono::minutes(1));
    test::FenetreEnregistreuse fenetre(valeurs_.config.transit);
    traite_import(valeurs_, fenetre);
    genere_sorties(valeurs_, fenetre);
  }

  // Collects the one export and gives its content.
  std::string collecte(std::string& nom) {
    const std::vector<std::string> noms = exports_en_attente(boutique_);
    EXPECT_EQ(noms.size(), 1u);
    if (noms.empty()) return {};
    nom = noms.back();
    std::string contenu;
    EXPECT_TRUE(collecte_export(boutique_, nom, recus(), contenu));
    return contenu;
  }

  Bilan bilan(const Envoi& e, const std::string& nom, const std::string& contenu) {
    return fait_bilan(boutique_, e, nom, contenu, horloge_.maintenant());
  }

  std::string recus() const { return (dossier_.chemin() / "serveur" / "recus").string(); }

  test::DossierTemporaire dossier_;
  HorlogeFixe horloge_{DateHeure{2026, 12, 6, 14, 2, 5}};
  ValeursProgramme valeurs_{horloge_, ','};
  Boutique boutique_;
  std::vector<ArticleConnu> catalogue_;
};

TEST_F(ServeurSimule, UnEchangeFautifEstSignale) {
  std::string nom, contenu;
  // A record lost on the way: no movement, and a stock that did not move.
  Envoi perdu = livre(21);
  const LigneEnvoyee& oublie = connue(perdu);
  Envoi sans = perdu;
  sans.lignes.erase(sans.lignes.begin() + (&oublie - perdu.lignes.data()));
  test::ecrit_octets(import(perdu.nom), texte_envoi(sans));
  echange();
  contenu = collecte(nom);
  Bilan b = bilan(perdu, nom, contenu);
  EXPECT_TRUE(contient(b.anomalies, oublie.reference + ": no movement recorded"));
  EXPECT_TRUE(contient(b.anomalies, oublie.reference + ": stock"));
  // A record applied twice.
  Envoi double_ = livre(22);
  const LigneEnvoyee& deux = connue(double_);
  Envoi avec = double_;
  avec.lignes.push_back(deux);
  test::ecrit_octets(import(double_.nom), texte_envoi(avec));
  echange();
  contenu = collecte(nom);
  b = bilan(double_, nom, contenu);
  EXPECT_TRUE(contient(b.anomalies, deux.reference + ": 2 movements recorded for one record"));
  EXPECT_TRUE(contient(b.anomalies, deux.reference + ": stock"));
  // A sound exchange: twelve known references applied, one unknown in the
  // error file. Then the export or the error file misreport it.
  const Envoi sain = livre(23);
  echange();
  contenu = collecte(nom);
  b = bilan(sain, nom, contenu);
  ASSERT_TRUE(b.anomalies.empty()) << b.anomalies.front();
  EXPECT_EQ(b.mouvements.size(), 12u);
  EXPECT_EQ(b.erreurs.size(), 1u);
  const std::string reference = connue(sain).reference;
  const std::size_t ligne = contenu.find(reference + "\t");
  ASSERT_NE(ligne, std::string::npos);
  const std::size_t fin = contenu.find("\r\n", ligne) + 2;
  std::string faux = contenu;
  faux.replace(ligne, fin - ligne, reference + "\t-999,00\t\r\n");
  b = bilan(sain, nom, faux);
  EXPECT_TRUE(contient(b.anomalies, reference + ": the export says -999,00"));
  std::string court = contenu;
  court.erase(ligne, fin - ligne);
  b = bilan(sain, nom, court);
  EXPECT_TRUE(contient(b.anomalies, reference + ": missing from " + nom));
  EXPECT_TRUE(contient(b.anomalies, "articles taking part in the exchange"));
  b = bilan(sain, nom, contenu.substr(0, contenu.size() - 2));
  EXPECT_TRUE(contient(b.anomalies, "lines not of the form"));
  fs::resize_file(import(sain.fichier_erreurs.substr(sain.fichier_erreurs.rfind('\\') + 1)),
                  sain.taille_erreurs_avant);
  b = bilan(sain, nom, contenu);
  EXPECT_TRUE(contient(b.anomalies, "unknown, but not in the error file"));
}

}  // namespace
}  // namespace pontex::serveur

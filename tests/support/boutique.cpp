#include "tests/support/boutique.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "pontex/exchange/echange.h"
#include "pontex/exchange/texte_mouvements.h"

namespace pontex::test {

std::vector<fabrique::DescriptionArticle> articles_boutique() {
  std::vector<fabrique::DescriptionArticle> a(6);
  a[0] = {"1000000000001", "PAIN DE CAMPAGNE", 10.0f, 5.0f, "BOU-001", '0', '1', 12345};
  a[1] = {"1000000000002", "CAF\xC9 EN GRAINS", 2.5f, 0.0f, "EPI-002", '0', '1', -7};
  a[2] = {"1000000000003", "SUCRE", -2.0f, 0.0f, "", '0', '1', 3};
  a[3] = {"1000000000004", "RIZ", 1.0f, 0.0f, "EPI-004", '1', '1', 4};
  a[4] = {"", "BEURRE", 1234.5f, 0.0f, "   ", '0', '1', 5};
  a[5] = {"1000000000006", "TH\xC9", 0.125f, 0.0f, "EPI-006", '0', '0', 6};
  return a;
}

Boutique::Boutique(char separateur)
    : horloge(DateHeure{2026, 12, 5, 21, 7, 9}),
      valeurs(horloge, separateur),
      racine_(dossier.chemin()) {
  fs::create_directories(histo());
  fs::create_directories(import() / "histo");
  fs::create_directories(caisse());
  valeurs.config.transit = dossier.valeur_dossier() + "transit\\";
  valeurs.config.ficbase = dossier_caisse();
  valeurs.config.refarti = 1;
  valeurs.config.nom_sto = "stock_";
  valeurs.config.nom_mvt = "ventes_";
  valeurs.config.numpost = "7";
  valeurs.config.utilisa = "3";
  valeurs.caisse.met_dossier(valeurs.config.ficbase);
  (void)fenetre.File1.met_dossier(valeurs.config.transit + "import");
  (void)fenetre.File2.met_dossier(valeurs.config.transit + "export");
}

Boutique::Boutique(const DepartPontex& depart) : Boutique() {
  fabrique::ParametresCaisse p;
  p.nombre_articles = 20;
  // Every article takes part in the exchange and has a reference.
  p.part_exclus = p.part_hors_echange = p.part_sans_reference = 0;
  p.fichier_principal = depart.fichier_principal;
  EXPECT_TRUE(fabrique::fabrique_caisse(dossier_caisse(), p, &registre));
  ecrit_configuration("#TRANSIT#" + dossier.valeur_dossier() +
                      "transit\\   | dossier du serveur\r\n" + "#FICBASE#" + dossier_caisse() +
                      "\r\n#REFARTI#1\r\n#NOM_STO#stock_\r\n#NOM_MVT#ventes_\r\n#NUMPOST#3\r\n"
                      "#UTILISA#2\r\n#TIM_ANA#" +
                      depart.tim_ana + "\r\n");
}

void Boutique::ecrit_configuration(const std::string& texte) const {
  ecrit_octets(racine_ / "Pontex.wdo", texte);
}

std::string Boutique::reference(int k) const {
  return std::string(
      sans_espaces(registre.articles.at(std::size_t(k - 1)).reference_alternative()));
}

float Boutique::stock(int k) const { return article(k).stock(); }

std::string Boutique::dossier_caisse() const { return dossier.valeur_dossier() + "caisse\\"; }

void Boutique::ecrit_caisse(const std::vector<fabrique::DescriptionArticle>& articles) {
  originaux.clear();
  std::vector<fabrique::EntreeFabriquee> index;
  for (std::size_t i = 0; i < articles.size(); ++i) {
    originaux.push_back(fabrique::fabrique_article(articles[i]));
    const auto numero = static_cast<std::int32_t>(i + 1);
    if (!articles[i].code.empty()) index.push_back({"A" + articles[i].code, numero});
    const std::string& ref = articles[i].reference_alternative;
    if (ref.find_first_not_of(' ') != std::string::npos) index.push_back({"A" + ref, numero});
  }
  fabrique::trie_entrees(index);
  const std::string d = dossier_caisse();
  EXPECT_TRUE(fabrique::ecrit_articles(d, originaux).ok());
  EXPECT_TRUE(fabrique::ecrit_index(d, index, static_cast<std::int32_t>(index.size())).ok());
  EXPECT_TRUE(fabrique::ecrit_mouvements_vides(d, 0).ok());
}

fs::path Boutique::depose(const std::string& nom, const std::string& contenu) {
  const fs::path p = import() / nom;
  ecrit_octets(p, contenu);
  fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1));
  return p;
}

void Boutique::ecrit_analyse(const std::string& contenu) {
  ecrit_octets(racine_ / "prov_stk_ana_ron.txt", contenu);
}

EnregistrementArticle Boutique::article(std::int32_t k) const {
  EnregistrementArticle a = EnregistrementArticle::vierge();
  EXPECT_TRUE(fabrique::lit_article_dossier(dossier_caisse(), k, a).ok()) << "article " << k;
  return a;
}

EnregistrementMouvement Boutique::mouvement(std::int32_t m) const {
  EnregistrementMouvement e = EnregistrementMouvement::vierge();
  EXPECT_TRUE(fabrique::lit_mouvement_dossier(dossier_caisse(), m, e).ok()) << "movement " << m;
  return e;
}

std::vector<std::string> Boutique::fichiers(const fs::path& dossier) {
  std::vector<std::string> noms;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dossier, ec)) {
    if (e.is_regular_file()) noms.push_back(e.path().filename().string());
  }
  std::sort(noms.begin(), noms.end());
  return noms;
}

void Echange::importe() {
  b.fenetre.File1.rafraichit();
  traite_import(b.valeurs, b.fenetre);
}

const std::vector<std::string>& Echange::reimporte() {
  b.fenetre.journal.clear();
  importe();
  return b.fenetre.journal;
}

const std::vector<std::string>& Echange::reprend() {
  b.fenetre.journal.clear();
  applique_analyse(b.valeurs, b.fenetre);
  return b.fenetre.journal;
}

void Echange::exporte() {
  b.fenetre.File2.rafraichit();
  genere_sorties(b.valeurs, b.fenetre);
}

void Echange::applique(const std::string& contenu) {
  b.ecrit_analyse(contenu);
  applique_analyse(b.valeurs, b.fenetre);
}

bool Echange::analyse_presente() const {
  return fs::exists(b.dossier.chemin() / "prov_stk_ana_ron.txt");
}

std::string ligne_pain(const std::string& quantite) {
  return quantite + " x " + designation_40("PAIN DE CAMPAGNE");
}

std::string ligne_cafe(const std::string& quantite) {
  return quantite + " x " + designation_40("CAF\xC9 EN GRAINS");
}

std::string designation_40(const std::string& d) {
  std::string r = d;
  r.resize(40, ' ');
  return r;
}

std::string octets_f32(float v) {
  std::string o(4, '\0');
  std::memcpy(o.data(), &v, 4);  // the test hosts are little-endian, as the files
  return o;
}

std::string mouvement_attendu(const std::string& code, float quantite, std::int64_t valeur,
                              std::int32_t poste, std::int16_t utilisateur) {
  const auto le = [](std::uint64_t v, int n) {
    std::string o;
    for (int i = 0; i < n; ++i) o += static_cast<char>(v >> (8 * i));
    return o;
  };
  std::string champ_code = code;
  champ_code.resize(15, ' ');
  return "05-12-202621:07" + champ_code + std::string(6, ' ') + octets_f32(quantite) +
         le(static_cast<std::uint64_t>(valeur), 8) + le(static_cast<std::uint32_t>(poste), 4) +
         le(static_cast<std::uint16_t>(utilisateur), 2) + "-Serv:vpc-";
}

}  // namespace pontex::test

#include "tests/app/fenetres_test.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "pontex/app/modele_journal.h"
#include "pontex/app/texte_1252.h"
#include "pontex/exchange/texte_mouvements.h"

namespace pontex::test {

Resultat SystemeEnregistreur::demarre(std::string_view nom, Fenetre_lancement fenetre) {
  demarrages.push_back({std::string(nom), fenetre});
  return Resultat::succes();
}

Boutique::Boutique(bool avec_registre, const std::string& tim_ana) {
  for (const char* d : {"transit/import/histo", "transit/export/histo", "caisse"})
    std::filesystem::create_directories(dossier.chemin() / d);
  fabrique::ParametresCaisse p;
  p.nombre_articles = 20;
  // Every article takes part in the exchange and has a reference.
  p.part_exclus = p.part_hors_echange = p.part_sans_reference = 0;
  p.fichier_principal = avec_registre;
  EXPECT_TRUE(fabrique::fabrique_caisse(caisse(), p, &registre));
  ecrit_configuration("#TRANSIT#" + dossier.valeur_dossier() +
                      "transit\\   | dossier du serveur\r\n" + "#FICBASE#" + caisse() +
                      "\r\n#REFARTI#1\r\n#NOM_STO#stock_\r\n#NOM_MVT#ventes_\r\n#NUMPOST#3\r\n"
                      "#UTILISA#2\r\n#TIM_ANA#" +
                      tim_ana + "\r\n");
}

std::string Boutique::caisse() const { return dossier.valeur_dossier() + "caisse\\"; }

std::filesystem::path Boutique::chemin(const std::string& relatif) const {
  return dossier.chemin() / relatif;
}

std::string Boutique::reference(int k) const {
  return std::string(
      sans_espaces(registre.articles.at(std::size_t(k - 1)).reference_alternative()));
}

float Boutique::stock(int k) const {
  EnregistrementArticle a;
  EXPECT_TRUE(fabrique::lit_article_dossier(caisse(), k, a));
  return a.stock();
}

void Boutique::ecrit_configuration(const std::string& texte) const {
  ecrit_octets(dossier.chemin() / "Pontex.wdo", texte);
}

Processus::Processus() : programme(systeme, horloge, '.') {
  fenetre = std::make_unique<fenetres::Form1>(programme);
}

std::vector<QString> Processus::journal() const {
  std::vector<QString> lignes;
  const LignesJournal& l = fenetre->modele_journal->lignes();
  for (std::size_t i = 0; i < l.taille(); ++i) lignes.push_back(fenetres::depuis_1252(l.ligne(i)));
  return lignes;
}

GardeModales::GardeModales() {
  fenetres::form97::oublie_actions();
  fenetres::outils::oublie_actions();
  fenetres::form97::met_action_par_defaut([this](fenetres::form97& d) {
    inattendues.push_back(d.Label1->text());
    ADD_FAILURE() << "unexpected message dialog: " << d.Label1->text().toStdString();
    d.Form_KeyPress(27);
  });
  fenetres::outils::met_action_par_defaut([this](fenetres::outils& o) {
    inattendues.push_back(o.windowTitle());
    ADD_FAILURE() << "unexpected settings window";
    o.done(0);
  });
}

GardeModales::~GardeModales() {
  fenetres::form97::oublie_actions();
  fenetres::outils::oublie_actions();
}

void ferme_par_gestionnaire(QWidget& fenetre) { fenetre.close(); }

void repond(fenetres::form97& d, Geste g) {
  if (g == Geste::clic_oui || g == Geste::clic_non) {
    QTest::mouseClick(g == Geste::clic_oui ? d.bt_oui : d.bt_no, Qt::LeftButton);
  } else if (g == Geste::fermeture) {
    ferme_par_gestionnaire(d);
  } else {
    const auto touche = g == Geste::entree        ? Qt::Key_Return
                        : g == Geste::pave_entree ? Qt::Key_Enter
                                                  : Qt::Key_Escape;
    QTest::keyClick(&d, touche);
  }
}

}  // namespace pontex::test

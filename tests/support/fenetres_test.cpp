#include "tests/support/fenetres_test.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "pontex/app/modele_journal.h"
#include "pontex/exchange/texte_mouvements.h"
#include "pontex/fenetres/texte_1252.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pontex::test {

bool sous_wine() {
#ifdef _WIN32
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

Resultat SystemeEnregistreur::demarre(std::string_view nom, Fenetre_lancement fenetre) {
  demarrages.push_back({std::string(nom), fenetre});
  if (!refus.empty()) return Resultat::echec(refus);
  return Resultat::succes();
}

std::optional<EtatEchange> etat_lu(const Boutique& b) {
  const auto texte = lit_fichier_etat(b.chemin("pontex_etat.json").string());
  return texte ? lit_texte_etat(*texte) : std::nullopt;
}

Verdict verdict_etat(const Boutique& b) {
  return juge_etat(lit_fichier_etat(b.chemin("pontex_etat.json").string()), secondes_maintenant());
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

QString caisse_affichee(const Boutique& b) {
#ifdef _WIN32
  return QString::fromStdString(b.dossier_caisse());
#else
  return QString::fromStdString(b.chemin("caisse").string() + "/");
#endif
}

std::vector<QString> textes_coupes(const QWidget& fenetre) {
  std::vector<QString> coupes;
  // Wine draws with its own fonts, not the Arial a shop's Windows has: what
  // a label's text measures there says nothing of what the shop sees.
  if (sous_wine()) return coupes;
  for (const QLabel* l : fenetre.findChildren<QLabel*>()) {
    if (l->text().isEmpty() || !l->pixmap().isNull()) continue;
    const QRect zone =
        l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
    const QFontMetrics fm(l->font());
    const int drapeaux = int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0);
    const QRect texte = fm.boundingRect(zone, drapeaux, l->text());
    if (texte.width() > zone.width() || texte.height() > zone.height()) {
      coupes.push_back(l->text() + QStringLiteral(" [%1x%2 in %3x%4]")
                                       .arg(texte.width())
                                       .arg(texte.height())
                                       .arg(zone.width())
                                       .arg(zone.height()));
    }
  }
  return coupes;
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

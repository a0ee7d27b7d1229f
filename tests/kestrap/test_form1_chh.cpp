// The registration window driven in-process: the status after each button,
// what lands in (and leaves) the Startup folder, and what "Fin" starts.
// HOME points at an empty temporary profile; the current folder is another
// temporary folder that plays the programs' folder.

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrap/creation_dossiers.h"
#include "kestrap/form1_chh.h"
#include "pontex/shared/processus.h"
#include "tests/support/dossier_temporaire.h"
#include "tests/support/variable_environnement.h"

namespace kestrap {
namespace {

namespace fs = std::filesystem;
using pontex::test::DossierTemporaire;
using pontex::test::ecrit_octets;
using pontex::test::lit_octets;
using Evenements = std::vector<std::string>;

const QColor kVert(0, 192, 0);
const QColor kRouge(255, 0, 0);
const std::string kEntree = "[Desktop Entry]\nType=Application\nName=Pontex\n";
constexpr const char* kListe = "#R#Pontex.desktop   | entry\r\n#N#Pontex\r\n#P#'./retour.sh'\r\n";

class FenetreKestrap : public ::testing::Test {
 protected:
  // What the window did to the outside world, in order.
  Evenements evenements_;
  // When set, the Startup folder the window gets instead of the platform's.
  std::optional<std::optional<std::string>> dossier_impose_;

  DossierTemporaire programmes_;
  DossierTemporaire profil_{false};
  pontex::test::VariableEnvironnement home_{"HOME", profil_.chemin().c_str()};
  pontex::test::VariableEnvironnement xdg_{"XDG_CONFIG_HOME", nullptr};

  fs::path autostart() const { return profil_.chemin() / ".config" / "autostart"; }

  Systeme systeme() {
    return Systeme{
        [this]() { return dossier_impose_ ? *dossier_impose_ : pontex::dossier_demarrage(); },
        [this](std::string_view ligne) {
          evenements_.push_back("commande " + std::string(ligne));
          return pontex::demarre_commande(ligne);
        },
        [this](int code) { evenements_.push_back("fin " + std::to_string(code)); },
    };
  }

  // The shipped layout: list file, entry file and return command in the
  // current folder.
  void installe(const std::string& liste, bool avec_entree = true) {
    ecrit_octets("kestrap.wdo", liste);
    if (avec_entree) ecrit_octets("Pontex.desktop", kEntree);
    ecrit_octets("retour.sh", "#!/bin/sh\necho revenu > marqueur\n");
    fs::permissions("retour.sh", fs::perms::owner_all);
  }

  static void verifie_statut(const Form1_chh& f, const char* texte, const QColor& couleur) {
    EXPECT_EQ(f.Label7->text(), QString::fromUtf8(texte));
    EXPECT_EQ(f.Label7->palette().color(QPalette::WindowText), couleur);
  }
};

TEST_F(FenetreKestrap, ActiverCreeLeDossierEtCopieAnnulerRetire) {
  // A new account: neither ~/.config nor its autostart folder exist. The
  // current folder holds the entry file, but is not the Startup folder.
  installe(kListe);
  Form1_chh f(systeme());
  f.Form_Load();
  EXPECT_EQ(f.Label3->text(), "Pontex");
  verifie_statut(f, "Désactivé", kRouge);
  f.Command2_Click();
  EXPECT_EQ(lit_octets(autostart() / "Pontex.desktop"), kEntree);
  verifie_statut(f, "Activé", kVert);

  // Again, with a changed entry file: the copy is replaced.
  ecrit_octets("Pontex.desktop", kEntree + "Comment=v2\n");
  f.Command2_Click();
  EXPECT_EQ(lit_octets(autostart() / "Pontex.desktop"), kEntree + "Comment=v2\n");

  // "Annuler" removes the entry and nothing else of the user's, twice.
  ecrit_octets(autostart() / "autre.desktop", "x");
  for (int i = 0; i < 2; ++i) {
    f.Command3_Click();
    EXPECT_FALSE(fs::exists(autostart() / "Pontex.desktop"));
    EXPECT_TRUE(fs::exists(autostart() / "autre.desktop"));
    EXPECT_TRUE(fs::exists("Pontex.desktop"));
    verifie_statut(f, "Désactivé", kRouge);
  }
  EXPECT_TRUE(evenements_.empty());
}

TEST_F(FenetreKestrap, SansEntreeUtilisableLesBoutonsNeChangentRien) {
  // No list file, an empty entry name (an empty pattern must never mean
  // "everything"), a name leading out of the Startup folder.
  ecrit_octets(autostart() / "Pontex.desktop", "x");
  ecrit_octets(autostart() / "autre.desktop", "y");
  ecrit_octets(profil_.chemin() / ".config" / "Pontex.desktop", "du profil");
  for (const char* liste : {"", "#R#   | no entry yet\r\n", "#R#..\\Pontex.desktop\r\n"}) {
    if (*liste != '\0') installe(liste);
    Form1_chh f(systeme());
    f.Form_Load();
    f.Command3_Click();
    f.Command2_Click();
    verifie_statut(f, "Désactivé", kRouge);
    EXPECT_EQ(f.Label3->text(), "Label3");
    EXPECT_EQ(lit_octets(autostart() / "Pontex.desktop"), "x") << liste;
    EXPECT_EQ(std::distance(fs::directory_iterator(autostart()), fs::directory_iterator()), 2);
    EXPECT_EQ(lit_octets(profil_.chemin() / ".config" / "Pontex.desktop"), "du profil");
  }
}

TEST_F(FenetreKestrap, LeNomDEntreeEstUnMotifQuiIgnoreLesFichiersCaches) {
  // As on the workstation: wildcards, letters of any case, hidden files
  // neither counted nor deleted.
  installe("#R#*ontex*\r\n");
  ecrit_octets(autostart() / "PONTEX.desktop", "x");
  ecrit_octets(autostart() / ".Pontex.desktop", "cache");
  ecrit_octets(autostart() / "autre.desktop", "y");
  Form1_chh f(systeme());
  f.Form_Load();
  verifie_statut(f, "Activé", kVert);
  f.Command3_Click();
  EXPECT_FALSE(fs::exists(autostart() / "PONTEX.desktop"));
  EXPECT_TRUE(fs::exists(autostart() / "autre.desktop"));
  EXPECT_EQ(lit_octets(autostart() / ".Pontex.desktop"), "cache");
  verifie_statut(f, "Désactivé", kRouge);
}

TEST_F(FenetreKestrap, SansDossierDeDemarrageRienNEstEcrit) {
  // No profile folder: nothing is listed (not even the current folder,
  // which holds the entry file) and nothing is written anywhere.
  dossier_impose_ = std::optional<std::string>();
  installe(kListe);
  Form1_chh f(systeme());
  f.Form_Load();
  f.Command2_Click();
  f.Command3_Click();
  verifie_statut(f, "Désactivé", kRouge);
  EXPECT_TRUE(fs::is_empty(profil_.chemin()));
  EXPECT_TRUE(fs::exists("Pontex.desktop"));
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3);
}

TEST_F(FenetreKestrap, CopieImpossible) {
  // No entry file to copy, then a Startup folder that cannot be created:
  // nothing is copied and the status stays as the folder is.
  installe(kListe, /*avec_entree=*/false);
  Form1_chh f(systeme());
  f.Form_Load();
  f.Command2_Click();
  verifie_statut(f, "Désactivé", kRouge);
  EXPECT_FALSE(fs::exists(autostart() / "Pontex.desktop"));
  ecrit_octets("Pontex.desktop", kEntree);
  fs::remove_all(autostart());
  {
    pontex::test::EchecInjecte echec([](pontex::Operation o, std::string_view) {
      return o == pontex::Operation::creation_dossier;
    });
    f.Command2_Click();
    verifie_statut(f, "Désactivé", kRouge);
    EXPECT_FALSE(fs::exists(autostart()));
  }
  f.Command2_Click();
  verifie_statut(f, "Activé", kVert);
}

// "Fin", and the window manager's close acting as "Fin": the return command
// is started when there is one, then the program ends.
TEST_F(FenetreKestrap, FinEtFermetureDemarrentLaCommandeDeRetourPuisTerminent) {
  const struct {
    const char* liste;
    bool par_fermeture;
    Evenements attendus;
  } cas[] = {{kListe, false, {"commande './retour.sh'", "fin 0"}},
             {kListe, true, {"commande './retour.sh'", "fin 0"}},
             {"#R#Pontex.desktop\r\n#P#   | none\r\n", false, {"fin 0"}}};
  for (const auto& c : cas) {
    evenements_.clear();
    fs::remove("marqueur");
    installe(c.liste);
    Form1_chh f(systeme());
    f.Form_Load();
    if (c.par_fermeture) {
      f.affiche();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
      f.close();
    } else {
      f.Command1_Click();
    }
    EXPECT_EQ(evenements_, c.attendus) << c.liste;
    if (c.attendus.size() == 2) {
      EXPECT_TRUE(QTest::qWaitFor([] { return fs::exists("marqueur"); }, 5000));
    }
  }
}

TEST_F(FenetreKestrap, ClavierSurFinPuisActiverPuisAnnuler) {
  installe(kListe);
  Form1_chh f(systeme());
  f.Form_Load();
  f.affiche();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  for (QWidget* attendu : {f.Command1, f.Command2, f.Command3, f.Command1}) {
    EXPECT_EQ(QApplication::focusWidget(), attendu);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  // Enter on a button presses it: here "Activer".
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_TRUE(fs::exists(autostart() / "Pontex.desktop"));
  EXPECT_TRUE(evenements_.empty());
}

TEST_F(FenetreKestrap, ImagesTitreEtTextesEntiers) {
  installe("#N#Caisse des Donn\351es \200\r\n");
  Form1_chh f(systeme());
  f.Form_Load();
  // The title is Windows-1252 in the list file.
  EXPECT_EQ(f.Label3->text(), QString::fromUtf8("Caisse des Données €"));
  // No "Kestrap.ico": the picture area stays empty.
  EXPECT_TRUE(f.Image1->pixmap().isNull());
  fs::copy_file(fs::path(PONTEX_DOSSIER_BIN) / "Kestrap.ico", "Kestrap.ico");
  // A reload without a title keeps the one shown.
  installe("#R#Pontex.desktop\r\n");
  f.Form_Load();
  EXPECT_EQ(f.Label3->text(), QString::fromUtf8("Caisse des Données €"));
  EXPECT_EQ(f.Image1->geometry(), QRect(24, 22, 32, 32));
  for (const QToolButton* b : {f.Command1, f.Command2, f.Command3})
    EXPECT_EQ(b->icon().actualSize(QSize(32, 32)), QSize(32, 32)) << b->text().toStdString();
  // The status sits inside the right end of its caption's box; the
  // explanations are shown whole, inside their frames.
  EXPECT_TRUE(f.Label6->geometry().contains(f.Label7->geometry()));
  for (const QLabel* l : {f.Label4, f.Label5})
    EXPECT_GE(l->height(), l->heightForWidth(l->width()));
  EXPECT_TRUE(f.Shape2->geometry().contains(f.Label4->geometry()));
  EXPECT_TRUE(f.Shape3->geometry().contains(f.Label5->geometry()));
}

TEST(CreationDossiers, CreeLesParentsManquantsJamaisALaRacine) {
  DossierTemporaire d;
  const fs::path cible = d.chemin() / "a" / "b" / "c";
  EXPECT_TRUE(cree_dossiers(cible.string()));
  EXPECT_TRUE(fs::is_directory(cible));
  EXPECT_TRUE(cree_dossiers(cible.string()));  // already there: success
  // Nothing below the root exists: refused, nothing written.
  EXPECT_FALSE(cree_dossiers("/pontex-absent-9f3c/autostart"));
  EXPECT_FALSE(fs::exists("/pontex-absent-9f3c"));
  EXPECT_FALSE(cree_dossiers("C:\\Users\\x\\Startup"));
}

}  // namespace
}  // namespace kestrap

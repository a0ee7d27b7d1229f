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
#include "tests/kestrap/variable_environnement.h"
#include "tests/support/dossier_temporaire.h"

namespace kestrap {
namespace {

namespace fs = std::filesystem;
using pontex::test::DossierTemporaire;
using pontex::test::EchecInjecte;
using pontex::test::ecrit_octets;
using pontex::test::lit_octets;
using test::VariableEnvironnement;

const QColor kVert(0, 192, 0);
const QColor kRouge(255, 0, 0);
const std::string kEntree = "[Desktop Entry]\nType=Application\nName=Pontex\n";

class FenetreKestrap : public ::testing::Test {
 protected:
  // What the window did to the outside world, in order.
  std::vector<std::string> evenements_;
  // When set, the Startup folder the window gets instead of the platform's.
  std::optional<std::optional<std::string>> dossier_impose_;

  DossierTemporaire programmes_;
  DossierTemporaire profil_{false};
  VariableEnvironnement home_{"HOME", profil_.chemin().c_str()};
  VariableEnvironnement xdg_{"XDG_CONFIG_HOME", nullptr};

  fs::path autostart() const { return profil_.chemin() / ".config" / "autostart"; }

  Systeme systeme() {
    return Systeme{
        [this]() -> std::optional<std::string> {
          if (dossier_impose_) return *dossier_impose_;
          return pontex::dossier_demarrage();
        },
        [this](std::string_view ligne) {
          evenements_.push_back("commande " + std::string(ligne));
          return pontex::demarre_commande(ligne);
        },
        [this](int code) { evenements_.push_back("fin " + std::to_string(code)); },
    };
  }

  // The shipped layout: list file and entry file in the current folder.
  void installe(const std::string& liste, bool avec_entree = true) {
    ecrit_octets("kestrap.wdo", liste);
    if (avec_entree) ecrit_octets("Pontex.desktop", kEntree);
    if (!fs::exists("retour.sh")) {
      ecrit_octets("retour.sh", "#!/bin/sh\necho revenu > marqueur\n");
      fs::permissions("retour.sh", fs::perms::owner_all);
    }
  }

  static void verifie_statut(const Form1_chh& f, const char* texte, const QColor& couleur) {
    EXPECT_EQ(f.Label7->text(), QString::fromUtf8(texte));
    EXPECT_EQ(f.Label7->palette().color(QPalette::WindowText), couleur);
  }
};

constexpr const char* kListe = "#R#Pontex.desktop   | entry\r\n#N#Pontex\r\n#P#'./retour.sh'\r\n";

TEST_F(FenetreKestrap, ActiverCreeLeDossierEtCopieAnnulerRetire) {
  installe(kListe);
  // A new account: neither ~/.config nor its autostart folder exist. The
  // current folder holds the entry file, but is not the Startup folder.
  Form1_chh f(systeme());
  f.Form_Load();
  EXPECT_EQ(f.Label3->text(), "Pontex");
  verifie_statut(f, "Désactivé", kRouge);
  ASSERT_FALSE(fs::exists(profil_.chemin() / ".config"));
  f.Command2_Click();
  EXPECT_EQ(lit_octets(autostart() / "Pontex.desktop"), kEntree);
  verifie_statut(f, "Activé", kVert);

  // Again, with a changed entry file: the copy is replaced.
  ecrit_octets("Pontex.desktop", kEntree + "Comment=v2\n");
  f.Command2_Click();
  EXPECT_EQ(lit_octets(autostart() / "Pontex.desktop"), kEntree + "Comment=v2\n");
  verifie_statut(f, "Activé", kVert);

  // "Annuler" removes the entry and nothing else of the user's.
  ecrit_octets(autostart() / "autre.desktop", "x");
  f.Command3_Click();
  EXPECT_FALSE(fs::exists(autostart() / "Pontex.desktop"));
  EXPECT_TRUE(fs::exists(autostart() / "autre.desktop"));
  EXPECT_TRUE(fs::exists("Pontex.desktop"));
  verifie_statut(f, "Désactivé", kRouge);

  // "Annuler" when inactive deletes nothing and says so again.
  f.Command3_Click();
  EXPECT_TRUE(fs::exists(autostart() / "autre.desktop"));
  verifie_statut(f, "Désactivé", kRouge);
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
    verifie_statut(f, "Désactivé", kRouge);
    f.Command3_Click();
    f.Command2_Click();
    verifie_statut(f, "Désactivé", kRouge);
    EXPECT_EQ(f.Label3->text(), "Label3");
    EXPECT_EQ(lit_octets(autostart() / "Pontex.desktop"), "x") << liste;
    EXPECT_EQ(std::distance(fs::directory_iterator(autostart()), fs::directory_iterator()), 2);
    EXPECT_EQ(lit_octets(profil_.chemin() / ".config" / "Pontex.desktop"), "du profil");
  }
}

TEST_F(FenetreKestrap, LesFichiersCachesNeComptentPas) {
  installe("#R#*.desktop\r\n");
  ecrit_octets(autostart() / ".Pontex.desktop", "cache");
  Form1_chh f(systeme());
  f.Form_Load();
  verifie_statut(f, "Désactivé", kRouge);
  f.Command3_Click();
  EXPECT_EQ(lit_octets(autostart() / ".Pontex.desktop"), "cache");
}

TEST_F(FenetreKestrap, LeNomDEntreeEstUnMotif) {
  // As on the workstation: wildcards and letters of any case.
  installe("#R#pontex*\r\n");
  ecrit_octets(autostart() / "PONTEX.desktop", "x");
  ecrit_octets(autostart() / "autre.desktop", "y");
  Form1_chh f(systeme());
  f.Form_Load();
  verifie_statut(f, "Activé", kVert);
  f.Command3_Click();
  EXPECT_FALSE(fs::exists(autostart() / "PONTEX.desktop"));
  EXPECT_TRUE(fs::exists(autostart() / "autre.desktop"));
  verifie_statut(f, "Désactivé", kRouge);
}

TEST_F(FenetreKestrap, SansDossierDeDemarrageRienNEstEcrit) {
  // No profile folder: nothing is listed (not even the current folder,
  // which holds the entry file) and nothing is written anywhere.
  dossier_impose_ = std::optional<std::string>();
  installe(kListe);
  Form1_chh f(systeme());
  f.Form_Load();
  verifie_statut(f, "Désactivé", kRouge);
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
    EchecInjecte echec([](pontex::Operation o, std::string_view) {
      return o == pontex::Operation::creation_dossier;
    });
    f.Command2_Click();
    verifie_statut(f, "Désactivé", kRouge);
    EXPECT_FALSE(fs::exists(autostart()));
  }
  f.Command2_Click();
  verifie_statut(f, "Activé", kVert);
}

TEST_F(FenetreKestrap, FinDemarreLaCommandeDeRetourPuisTermine) {
  installe(kListe);
  Form1_chh f(systeme());
  f.Form_Load();
  f.Command1_Click();
  EXPECT_EQ(evenements_, (std::vector<std::string>{"commande './retour.sh'", "fin 0"}));
  EXPECT_TRUE(QTest::qWaitFor([] { return fs::exists("marqueur"); }, 5000));
}

TEST_F(FenetreKestrap, FinSansCommandeNeDemarreRien) {
  installe("#R#Pontex.desktop\r\n#P#   | none\r\n");
  Form1_chh f(systeme());
  f.Form_Load();
  f.Command1_Click();
  EXPECT_EQ(evenements_, (std::vector<std::string>{"fin 0"}));
}

TEST_F(FenetreKestrap, FermetureParLeGestionnaireDeFenetresCommeFin) {
  installe(kListe);
  Form1_chh f(systeme());
  f.Form_Load();
  f.affiche();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.close();
  EXPECT_EQ(evenements_, (std::vector<std::string>{"commande './retour.sh'", "fin 0"}));
  EXPECT_TRUE(QTest::qWaitFor([] { return fs::exists("marqueur"); }, 5000));
}

TEST_F(FenetreKestrap, ClavierSurFinPuisActiverPuisAnnuler) {
  installe(kListe);
  Form1_chh f(systeme());
  f.Form_Load();
  f.affiche();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  EXPECT_EQ(QApplication::focusWidget(), f.Command1);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f.Command2);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f.Command3);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f.Command1);
  // Enter on a button presses it.
  QTest::keyClick(f.Command2, Qt::Key_Tab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_TRUE(fs::exists(autostart() / "Pontex.desktop"));
  EXPECT_TRUE(evenements_.empty());
}

TEST_F(FenetreKestrap, ImagesTitreEtTextes) {
  installe(
      "#N#Caisse des Donn\xe9"
      "es \x80\r\n");
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
  for (const QToolButton* b : {f.Command1, f.Command2, f.Command3}) {
    EXPECT_EQ(b->icon().actualSize(QSize(32, 32)), QSize(32, 32)) << b->text().toStdString();
  }

  EXPECT_EQ(f.windowTitle(), "Installation au demarrage");
  EXPECT_EQ(f.Label6->text(), " Statut du lancement automatique :");
  EXPECT_EQ(f.Label4->text(), QString::fromUtf8("Le logiciel sera lancé au démmarage de Windows, "
                                                "vous n'aurez pas besoin de le lancer "
                                                "manuellement."));
  EXPECT_EQ(f.Label5->text(),
            QString::fromUtf8("Le logiciel ne sera plus lancé au démmarage de Windows, vous "
                              "devrez le lancer manuellement lorsque vous souhaiterez "
                              "l'utiliser."));
  // The status sits inside the right end of its caption's box; the
  // explanations are shown whole, inside their frames.
  EXPECT_TRUE(f.Label6->geometry().contains(f.Label7->geometry()));
  for (const QLabel* l : {f.Label4, f.Label5}) {
    EXPECT_GE(l->height(), l->heightForWidth(l->width()));
  }
  EXPECT_TRUE(f.Shape2->geometry().contains(f.Label4->geometry()));
  EXPECT_TRUE(f.Shape3->geometry().contains(f.Label5->geometry()));
}

TEST(CreationDossiers, CreeLesParentsManquantsJamaisALaRacine) {
  DossierTemporaire d;
  const fs::path cible = d.chemin() / "a" / "b" / "c";
  EXPECT_TRUE(cree_dossiers(cible.string()));
  EXPECT_TRUE(fs::is_directory(cible));
  // Already there: success, nothing changed.
  EXPECT_TRUE(cree_dossiers(cible.string()));
  // Nothing below the root exists: refused, nothing written.
  EXPECT_FALSE(cree_dossiers("/pontex-absent-9f3c/autostart"));
  EXPECT_FALSE(fs::exists("/pontex-absent-9f3c"));
  EXPECT_FALSE(cree_dossiers("C:\\Users\\x\\Startup"));
}

}  // namespace
}  // namespace kestrap

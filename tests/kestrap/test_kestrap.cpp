// kestrap: how the list file "kestrap.wdo" is read; the list and entry files
// that ship beside the programs, for the build folder and for a folder whose
// name needs quoting; and the registration window driven in-process (the
// status after each button, what lands in and leaves the Startup folder,
// what "Fin" starts). The Startup folder is in an empty temporary profile
// (on Linux through HOME; on Windows the window is given it, the shell's own
// folder being checked by the platform tests); the current folder is another
// temporary folder that plays the programs' folder.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <QProcess>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrap/creation_dossiers.h"
#include "kestrap/form1_chh.h"
#include "kestrap/liste_kestrap.h"
#include "pontex/fenetres/systeme.h"
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

// The entry file of the platform, and a hidden file of the Startup folder
// (Linux: a name that starts with a dot; Windows: the hidden attribute).
#ifdef _WIN32
constexpr const char* kNomEntree = "Pontex.lnk";
void cache(const fs::path& p) {
  ::SetFileAttributesW(p.c_str(), ::GetFileAttributesW(p.c_str()) | FILE_ATTRIBUTE_HIDDEN);
}
#else
constexpr const char* kNomEntree = "Pontex.desktop";
void cache(const fs::path&) {}
#endif
const std::string kEntreeNom = kNomEntree;

TEST(ListeKestrap, ValeursCommentairesEspacesFinsDeLigneEtEtiquettes) {
  const ListeKestrap l = analyse_liste(
      "#R#premier\r\n"
      "#R#   Pontex.desktop   | the entry\r\n"  // the last line wins
      "#N# \tCaisse | de | la boutique\r\n"     // spaces trimmed, a tab kept
      "#P#cmd\r\n"
      "#P#|nothing but a comment\r\n");  // an empty value replaces
  EXPECT_EQ(l.nom_entree, "Pontex.desktop");
  EXPECT_EQ(l.titre, "\tCaisse");
  EXPECT_EQ(l.commande_retour, "");
  // CR LF, a lone LF, a lone CR, and a last line without an end: no line end
  // ever reaches a value (and so a file name).
  const ListeKestrap fins = analyse_liste("#R#a.desktop\n#N#titre\r#P#cmd");
  EXPECT_EQ(fins.nom_entree, "a.desktop");
  EXPECT_EQ(fins.titre, "titre");
  EXPECT_EQ(fins.commande_retour, "cmd");
  // Tags are case-sensitive and are the first three characters.
  const ListeKestrap aucune = analyse_liste("#r#petit\r\n#n#x\r\n#p#y\r\n#R\r\n\r\n R#x\r\n #R#x");
  EXPECT_FALSE(aucune.nom_entree || aucune.titre || aucune.commande_retour);
  // A known tag with nothing after it sets an empty value.
  EXPECT_EQ(analyse_liste("#R#").nom_entree, "");
}

TEST(ListeKestrap, FichierAbsentIllisibleOuBinaire) {
  DossierTemporaire dossier;
  EXPECT_FALSE(lit_liste("kestrap.wdo").nom_entree);
  fs::create_directory("kestrap.wdo");  // cannot be read as a file
  EXPECT_FALSE(lit_liste("kestrap.wdo").nom_entree);
  fs::remove("kestrap.wdo");
  ecrit_octets("kestrap.wdo", std::string("#R#x\0y\r\n\0\0\377\376", 12));
  EXPECT_EQ(lit_liste("kestrap.wdo").nom_entree, std::string("x\0y", 3));
}

// --- The files that ship ---------------------------------------------------

#ifdef _WIN32
TEST(FichiersLivres, ListeDuDossierDeConstruction) {
  // The entry is the shortcut the installer makes in the folder; "Fin"
  // starts Pontex by its bare name, found first in kestrap's own folder.
  const std::string liste = lit_octets(fs::path(PONTEX_DOSSIER_BIN) / "kestrap.wdo");
  EXPECT_NE(liste.find("\r\n"), std::string::npos);
  const ListeKestrap l = analyse_liste(liste);
  EXPECT_EQ(l.nom_entree, "Pontex.lnk");
  EXPECT_EQ(l.titre, "Pontex");
  EXPECT_EQ(l.commande_retour, "Pontex.exe");
}
#else
std::string ligne_commencant_par(const std::string& texte, const std::string& debut) {
  std::size_t p = texte.find("\n" + debut);
  if (p == std::string::npos) return {};
  p += 1;
  return texte.substr(p, texte.find('\n', p) - p);
}

TEST(FichiersLivres, ListeEtEntreeDuDossierDeConstruction) {
  const fs::path bin = PONTEX_DOSSIER_BIN;
  const std::string liste = lit_octets(bin / "kestrap.wdo");
  ASSERT_FALSE(liste.empty());
  EXPECT_NE(liste.find("\r\n"), std::string::npos);
  const ListeKestrap l = analyse_liste(liste);
  EXPECT_EQ(l.nom_entree, "Pontex.desktop");
  EXPECT_EQ(l.titre, "Pontex");
  // Pontex starts in its own folder, wherever kestrap was started from.
  EXPECT_EQ(l.commande_retour,
            "cd '" + bin.string() + "' && exec '" + (bin / "Pontex").string() + "'");

  const std::string entree = "\n" + lit_octets(bin / "Pontex.desktop");
  EXPECT_NE(entree.find("\n[Desktop Entry]\n"), std::string::npos);
  EXPECT_NE(entree.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(entree.find("\nName=Pontex\n"), std::string::npos);
  // Started at login, Pontex leaves the focus where it is.
  EXPECT_EQ(ligne_commencant_par(entree, "Exec="),
            "Exec=" + (bin / "Pontex").string() + " --sans-focus");
  EXPECT_EQ(ligne_commencant_par(entree, "Path="), "Path=" + bin.string());
  // A removed folder's entry left in the autostart folder is skipped.
  EXPECT_EQ(ligne_commencant_par(entree, "TryExec="), "TryExec=" + (bin / "Pontex").string());
  EXPECT_EQ(ligne_commencant_par(entree, "Icon="), "Icon=" + (bin / "pontex.svg").string());
  EXPECT_TRUE(fs::exists(bin / "pontex.svg"));
}

// Writes the shipped files for `dossier` with the build's own script.
void ecrit_fichiers_livres(const fs::path& dossier) {
  const QStringList arguments{"-DDOSSIER=" + QString::fromStdString(dossier.string()), "-P",
                              SCRIPT_FICHIERS_LIVRES};
  QProcess cmake;
  cmake.start(CMAKE_COMMANDE, arguments);
  ASSERT_TRUE(cmake.waitForFinished(30000));
  ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAllStandardError().toStdString();
}

TEST(FichiersLivres, LaCommandeDeRetourDemarrePontexDansUnDossierAuNomDifficile) {
  // Spaces, a quote, a "$" and accents in the folder name: "Fin" must still
  // start this Pontex and no other.
  DossierTemporaire racine;
  const fs::path dossier = racine.chemin() / "Caisse Données l'été $HOME";
  fs::create_directory(dossier);
  ecrit_fichiers_livres(dossier);
  const fs::path marqueur = racine.chemin() / "marqueur";
  // The stand-in Pontex says where it was started.
  ecrit_octets(dossier / "Pontex", "#!/bin/sh\necho lance >> '" + marqueur.string() + "'\npwd > '" +
                                       marqueur.string() + ".dossier'\n");
  fs::permissions(dossier / "Pontex", fs::perms::owner_all);

  const ListeKestrap l = analyse_liste(lit_octets(dossier / "kestrap.wdo"));
  ASSERT_TRUE(l.commande_retour);
  // The list file is Windows-1252: "é" is one byte there.
  EXPECT_NE(l.commande_retour->find("Donn\351es l'\\''\351t\351"), std::string::npos);
  ASSERT_TRUE(pontex::demarre_commande(*l.commande_retour));
  EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(marqueur); }, 5000));
  QTest::qWait(100);
  EXPECT_EQ(lit_octets(marqueur), "lance\n");
  // Started from elsewhere (the test's folder), it runs in its own.
  EXPECT_EQ(lit_octets(marqueur.string() + ".dossier"), dossier.string() + "\n");

  // The desktop entry quotes the path and escapes "$" (twice: once for the
  // command, once for the value).
  const std::string entree = "\n" + lit_octets(dossier / "Pontex.desktop");
  EXPECT_EQ(ligne_commencant_par(entree, "Exec="),
            "Exec=\"" + racine.chemin().string() +
                "/Caisse Données l'été \\\\$HOME/Pontex\" --sans-focus");
  EXPECT_EQ(ligne_commencant_par(entree, "Path="), "Path=" + dossier.string());
  // TryExec is a plain path: no quotes, "$" as it is.
  EXPECT_EQ(ligne_commencant_par(entree, "TryExec="), "TryExec=" + (dossier / "Pontex").string());
}
TEST(FichiersLivres, AvecUnLanceurFinDemarrePontexParLui) {
  // The package's launcher makes and enters the shop's folder: "Fin" goes
  // through it, not to the program in the read-only programs' folder.
  DossierTemporaire racine;
  const fs::path dossier = racine.chemin() / "opt";
  fs::create_directory(dossier);
  QProcess cmake;
  cmake.start(CMAKE_COMMANDE, {"-DDOSSIER=" + QString::fromStdString(dossier.string()),
                               "-DLANCEUR=/opt/pontex/lance-pontex", "-P", SCRIPT_FICHIERS_LIVRES});
  ASSERT_TRUE(cmake.waitForFinished(30000));
  ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAllStandardError().toStdString();
  const ListeKestrap l = analyse_liste(lit_octets(dossier / "kestrap.wdo"));
  EXPECT_EQ(l.commande_retour, "'/opt/pontex/lance-pontex'");
}
#endif

// --- "Fin" names the Pontex beside kestrap ----------------------------------------

// The return command's program, when bare, is put into the programs' folder
// and quoted whole (a space in "Program Files" must not cut it); anything
// that already names a place is left to the system as written.
TEST(CommandeVoisine, ProgrammeNuMisDansLeDossierDesProgrammes) {
  using pontex::fenetres::commande_dans_dossier;
  const std::string dossier = "C:\\Program Files\\Pontex";
  const struct {
    std::string ligne, attendue;
  } cas[] = {
      {"Pontex.exe", "\"C:\\Program Files\\Pontex\\Pontex.exe\""},
      {"Pontex.exe --sans-focus", "\"C:\\Program Files\\Pontex\\Pontex.exe\" --sans-focus"},
      {"  Pontex.exe\tx y", "\"C:\\Program Files\\Pontex\\Pontex.exe\"\tx y"},
      {"\"D:\\Autre\\Pontex.exe\" a", "\"D:\\Autre\\Pontex.exe\" a"},
      {"D:\\Autre\\Pontex.exe", "D:\\Autre\\Pontex.exe"},
      {"..\\Pontex.exe", "..\\Pontex.exe"},
      {"C:Pontex.exe", "C:Pontex.exe"},
      {"'/opt/pontex/Pontex'", "'/opt/pontex/Pontex'"},
      {"", ""},
      {"   ", "   "},
  };
  for (const auto& c : cas)
    EXPECT_EQ(commande_dans_dossier(c.ligne, dossier), c.attendue) << c.ligne;
  EXPECT_EQ(commande_dans_dossier("Pontex.exe", "C:\\"), "\"C:\\Pontex.exe\"");
  EXPECT_EQ(commande_dans_dossier("Pontex.exe", ""), "Pontex.exe");

  // The real one: this program's own folder on Windows, nothing changed
  // elsewhere (Linux looks beside the program by itself).
  const std::string voisine = pontex::fenetres::commande_voisine("Pontex.exe");
#ifdef _WIN32
  const std::string ici = fs::path(pontex::dossier_executable()).make_preferred().string();
  EXPECT_EQ(voisine, "\"" + ici + "\\Pontex.exe\"");
  EXPECT_EQ(pontex::fenetres::programme_voisin("relvano.exe"), ici + "\\relvano.exe");
#else
  EXPECT_EQ(voisine, "Pontex.exe");
  EXPECT_EQ(pontex::fenetres::programme_voisin("relvano.exe"), "relvano.exe");
#endif
}

// --- The window ----------------------------------------------------------------

const QColor kVert(0, 192, 0);
const QColor kRouge(255, 0, 0);
const std::string kEntree = "[Desktop Entry]\nType=Application\nName=Pontex\n";
// The return command: a small program that leaves a marker in the current
// folder.
#ifdef _WIN32
const std::string kRetour = "cmd /c echo revenu> marqueur";
#else
const std::string kRetour = "'./retour.sh'";
#endif
const std::string kListe = "#R#" + kEntreeNom + "   | entry\r\n#N#Pontex\r\n#P#" + kRetour + "\r\n";

class FenetreKestrap : public ::testing::Test {
 protected:
  // What the window did to the outside world, in order.
  Evenements evenements_;
  // When set, the Startup folder the window gets instead of the platform's.
  std::optional<std::optional<std::string>> dossier_impose_;

  DossierTemporaire programmes_;
  DossierTemporaire profil_{false};
  pontex::test::VariableEnvironnement home_{"HOME", profil_.chemin().string().c_str()};
  pontex::test::VariableEnvironnement xdg_{"XDG_CONFIG_HOME", nullptr};

  fs::path autostart() const { return profil_.chemin() / ".config" / "autostart"; }

#ifdef _WIN32
  FenetreKestrap() { dossier_impose_ = std::optional<std::string>(autostart().string()); }
#endif

  ServicesSysteme systeme() {
    return ServicesSysteme{
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
    if (avec_entree) ecrit_octets(kNomEntree, kEntree);
#ifndef _WIN32
    ecrit_octets("retour.sh", "#!/bin/sh\necho revenu > marqueur\n");
    fs::permissions("retour.sh", fs::perms::owner_all);
#endif
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
  EXPECT_EQ(lit_octets(autostart() / kNomEntree), kEntree);
  verifie_statut(f, "Activé", kVert);

  // Again, with a changed entry file: the copy is replaced.
  ecrit_octets(kNomEntree, kEntree + "Comment=v2\n");
  f.Command2_Click();
  EXPECT_EQ(lit_octets(autostart() / kNomEntree), kEntree + "Comment=v2\n");

  // "Annuler" removes the entry and nothing else of the user's, twice.
  ecrit_octets(autostart() / "autre.desktop", "x");
  for (int i = 0; i < 2; ++i) {
    f.Command3_Click();
    EXPECT_FALSE(fs::exists(autostart() / kNomEntree));
    EXPECT_TRUE(fs::exists(autostart() / "autre.desktop"));
    EXPECT_TRUE(fs::exists(kNomEntree));
    verifie_statut(f, "Désactivé", kRouge);
  }
  EXPECT_TRUE(evenements_.empty());
}

TEST_F(FenetreKestrap, SansEntreeUtilisableLesBoutonsNeChangentRien) {
  // No list file, an empty entry name (an empty pattern must never mean
  // "everything"), a name leading out of the Startup folder.
  ecrit_octets(autostart() / kNomEntree, "x");
  ecrit_octets(autostart() / "autre.desktop", "y");
  ecrit_octets(profil_.chemin() / ".config" / kNomEntree, "du profil");
  for (const std::string& liste :
       {std::string(), std::string("#R#   | no entry yet\r\n"), "#R#..\\" + kEntreeNom + "\r\n"}) {
    if (!liste.empty()) installe(liste);
    Form1_chh f(systeme());
    f.Form_Load();
    f.Command3_Click();
    f.Command2_Click();
    verifie_statut(f, "Désactivé", kRouge);
    EXPECT_EQ(f.Label3->text(), "Label3");
    EXPECT_EQ(lit_octets(autostart() / kNomEntree), "x") << liste;
    EXPECT_EQ(std::distance(fs::directory_iterator(autostart()), fs::directory_iterator()), 2);
    EXPECT_EQ(lit_octets(profil_.chemin() / ".config" / kNomEntree), "du profil");
  }
}

TEST_F(FenetreKestrap, LeNomDEntreeEstUnMotifQuiIgnoreLesFichiersCaches) {
  // As on the workstation: wildcards, letters of any case, hidden files
  // neither counted nor deleted.
  installe("#R#*ontex*\r\n");
  ecrit_octets(autostart() / "PONTEX.desktop", "x");
  ecrit_octets(autostart() / ".Pontex.desktop", "cache");
  cache(autostart() / ".Pontex.desktop");
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
  EXPECT_TRUE(fs::exists(kNomEntree));
  // The list file, the entry file and, on Linux, the return script.
#ifdef _WIN32
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);
#else
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3);
#endif
}

TEST_F(FenetreKestrap, CopieImpossible) {
  // No entry file to copy, then a Startup folder that cannot be created:
  // nothing is copied and the status stays as the folder is.
  installe(kListe, /*avec_entree=*/false);
  Form1_chh f(systeme());
  f.Form_Load();
  f.Command2_Click();
  verifie_statut(f, "Désactivé", kRouge);
  EXPECT_FALSE(fs::exists(autostart() / kNomEntree));
  ecrit_octets(kNomEntree, kEntree);
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
    std::string liste;
    bool par_fermeture;
    Evenements attendus;
  } cas[] = {{kListe, false, {"commande " + kRetour, "fin 0"}},
             {kListe, true, {"commande " + kRetour, "fin 0"}},
             {"#R#" + kEntreeNom + "\r\n#P#   | none\r\n", false, {"fin 0"}}};
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
  EXPECT_TRUE(fs::exists(autostart() / kNomEntree));
  EXPECT_TRUE(evenements_.empty());
}

TEST_F(FenetreKestrap, ImagesTitreEtExplicationsEntieres) {
  installe("#N#Caisse des Donn\351es \200\r\n");
  Form1_chh f(systeme());
  f.Form_Load();
  // The title is Windows-1252 in the list file.
  EXPECT_EQ(f.Label3->text(), QString::fromUtf8("Caisse des Données €"));
  // No "Kestrap.ico": the picture area stays empty.
  EXPECT_TRUE(f.Image1->pixmap().isNull());
  fs::copy_file(fs::path(PONTEX_DOSSIER_BIN) / "Kestrap.ico", "Kestrap.ico");
  // A reload without a title keeps the one shown.
  installe("#R#" + kEntreeNom + "\r\n");
  f.Form_Load();
  EXPECT_EQ(f.Label3->text(), QString::fromUtf8("Caisse des Données €"));
  EXPECT_EQ(f.Image1->size(), QSize(32, 32));  // the icon's first picture, not stretched
  for (const QToolButton* b : {f.Command1, f.Command2, f.Command3})
    EXPECT_EQ(b->icon().actualSize(QSize(32, 32)), QSize(32, 32)) << b->text().toStdString();
  // The explanations are shown whole.
  for (const QLabel* l : {f.Label4, f.Label5})
    EXPECT_GE(l->height(), l->heightForWidth(l->width()));
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
#ifdef _WIN32
  EXPECT_FALSE(cree_dossiers("C:\\pontex-absent-9f3c\\Startup"));
  EXPECT_FALSE(fs::exists("C:\\pontex-absent-9f3c"));
#else
  EXPECT_FALSE(cree_dossiers("C:\\Users\\x\\Startup"));
#endif
}

}  // namespace
}  // namespace kestrap

// Starting programs by bare name; Startup and profile folders. Scripts leave markers.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "pontex/shared/processus.h"
#include "pontex/shared/regional.h"
#include "tests/support/dossier_temporaire.h"
#include "tests/support/variable_environnement.h"

namespace pontex {
namespace {

namespace fs = std::filesystem;
using test::DossierTemporaire;
using test::ecrit_octets;
using test::lit_octets;

// The marker's content once it appears (then removed), or nothing after five seconds.
std::optional<std::string> attend_marqueur(const fs::path& marqueur) {
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < limite) {
    // Nothing read is not yet the answer: under Wine the previous marker,
    // removed while its program still held it, lingers unreadable a while.
    if (fs::exists(marqueur)) {
      const std::string contenu = lit_octets(marqueur);
      if (contenu.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      // On Windows a file the marking program still holds open cannot be removed yet.
      std::error_code ec;
      for (int i = 0; i < 100 && !fs::remove(marqueur, ec) && ec; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return contenu;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

#ifndef _WIN32

using Variable = test::VariableEnvironnement;

// A program name no other test or program uses.
std::string nom_unique() {
  static std::atomic<int> n{0};
  return "pontex-essai-" + std::to_string(::getpid()) + "-" + std::to_string(++n);
}

// A script writing `texte` into `marqueur` in two steps; removed when it goes out of scope.
struct Script {
  Script(const fs::path& chemin, const fs::path& marqueur, const std::string& texte)
      : chemin(chemin) {
    const std::string m = "'" + marqueur.string();
    ecrit_octets(chemin, "#!/bin/sh\nprintf '%s' \"" + texte + "\" > " + m + ".tmp'\nmv " + m +
                             ".tmp' " + m + "'\n");
    fs::permissions(chemin, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  }
  ~Script() {
    std::error_code ec;
    fs::remove(chemin, ec);
  }
  fs::path chemin;
};

TEST(Processus, RechercheDansLeDossierDuProgrammeLeDossierCourantPuisPath) {
  DossierTemporaire d;
  fs::create_directory("chemin");
  const fs::path marqueur = d.chemin() / "marqueur";
  const std::string nom = nom_unique();
  const fs::path dossier_exe = dossier_executable();
  ASSERT_TRUE(fs::is_directory(dossier_exe));
  const std::string path_systeme = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  Variable path("PATH", ((d.chemin() / "chemin").string() + ":" + path_systeme).c_str());
  {
    // In all three places: the program's own folder wins.
    Script exe(dossier_exe / nom, marqueur, "exe");
    Script cwd(d.chemin() / nom, marqueur, "cwd");
    Script p(d.chemin() / "chemin" / nom, marqueur, "path");
    ASSERT_TRUE(demarre_programme(nom + ".exe", Fenetre_lancement::normale));
    EXPECT_EQ(attend_marqueur(marqueur), "exe");
  }
  {
    Script cwd(d.chemin() / nom, marqueur, "cwd");
    Script p(d.chemin() / "chemin" / nom, marqueur, "path");
    // The Windows way of naming it: any case, with ".EXE".
    ASSERT_TRUE(demarre_programme(nom + ".EXE", Fenetre_lancement::normale));
    EXPECT_EQ(attend_marqueur(marqueur), "cwd");
  }
  {
    Script p(d.chemin() / "chemin" / nom, marqueur, "path");
    // A file of that name that cannot be run is passed over.
    ecrit_octets(d.chemin() / nom, "pas un programme");
    ASSERT_TRUE(demarre_programme(nom, Fenetre_lancement::normale));
    EXPECT_EQ(attend_marqueur(marqueur), "path");
    fs::remove(d.chemin() / nom);
  }
  Resultat r = demarre_programme(nom + ".exe", Fenetre_lancement::normale);
  EXPECT_FALSE(r);
  EXPECT_NE(r.raison().find(nom), std::string::npos) << r.raison();
  EXPECT_FALSE(demarre_programme("", Fenetre_lancement::normale));
  EXPECT_FALSE(demarre_programme(".exe", Fenetre_lancement::normale));
}

TEST(Processus, LeProgrammeDemarreDetacheDansLeDossierCourant) {
  DossierTemporaire d;
  const fs::path marqueur = d.chemin() / "marqueur";
  const std::string nom = nom_unique();
  // Its folder, its session and its arguments (there are none).
  Script s(d.chemin() / nom, marqueur, "$(pwd) $(cut -d' ' -f6 /proc/$$/stat) $#");
  ASSERT_TRUE(demarre_programme(nom, Fenetre_lancement::normale));
  auto m = attend_marqueur(marqueur);
  ASSERT_TRUE(m);
  const std::string session = std::to_string(::getsid(0));
  EXPECT_EQ(m->substr(0, m->find(' ')), d.chemin().string());
  EXPECT_NE(m->substr(m->find(' ') + 1, m->rfind(' ') - m->find(' ') - 1), session) << *m;
  EXPECT_EQ(m->substr(m->rfind(' ') + 1), "0");
  // Nothing left for us to wait for: no zombie of ours.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(Processus, DemarrageReduitTransmisParLEnvironnement) {
  DossierTemporaire d;
  const fs::path marqueur = d.chemin() / "marqueur";
  const std::string nom = nom_unique();
  Script s(d.chemin() / nom, marqueur, "[${PONTEX_DEMARRAGE_REDUIT-absent}]");
  {
    Variable v("PONTEX_DEMARRAGE_REDUIT", nullptr);
    ASSERT_TRUE(demarre_programme(nom, Fenetre_lancement::reduite_sans_focus));
    EXPECT_EQ(attend_marqueur(marqueur), "[1]");
  }
  {
    // Started minimised ourselves, we start the next one as asked: normal.
    Variable v("PONTEX_DEMARRAGE_REDUIT", "1");
    ASSERT_TRUE(demarre_programme(nom, Fenetre_lancement::normale));
    EXPECT_EQ(attend_marqueur(marqueur), "[absent]");
  }
}

TEST(Processus, DemarrageReduitLuDansLEnvironnement) {
  {
    Variable v("PONTEX_DEMARRAGE_REDUIT", "1");
    EXPECT_EQ(mode_lancement_demande(), Fenetre_lancement::reduite_sans_focus);
  }
  for (const char* autre : {"0", "", "11", static_cast<const char*>(nullptr)}) {
    Variable v("PONTEX_DEMARRAGE_REDUIT", autre);
    EXPECT_EQ(mode_lancement_demande(), Fenetre_lancement::normale) << (autre ? autre : "unset");
  }
}

TEST(Processus, UnFichierQueLeSystemeNePeutLancerEstUnEchec) {
  DossierTemporaire d;
  const std::string nom = nom_unique();
  ecrit_octets(d.chemin() / nom, "ni binaire ni script\n");
  fs::permissions(d.chemin() / nom, fs::perms::owner_all);
  Resultat r = demarre_programme(nom, Fenetre_lancement::normale);
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.raison().empty());
  // Not a bare name: a path is taken as it is, without search.
  const fs::path marqueur = d.chemin() / "marqueur";
  fs::create_directory("outils");
  Script s(d.chemin() / "outils" / "kestrap", marqueur, "ok");
  ASSERT_TRUE(demarre_programme("OUTILS\\kestrap.exe", Fenetre_lancement::normale));
  EXPECT_EQ(attend_marqueur(marqueur), "ok");
}

TEST(Processus, CommandeParLeShellAvecNomsWindows1252) {
  DossierTemporaire d;
  // The return command of the list file, in Windows-1252: "Données".
  ASSERT_TRUE(demarre_commande("printf ok > Donn\351es.tmp && mv Donn\351es.tmp Donn\351es"));
  EXPECT_EQ(attend_marqueur(d.chemin() / "Données"), "ok");
  EXPECT_FALSE(demarre_commande(std::string("true\0rm -rf x", 13)));
  EXPECT_FALSE(demarre_commande("  "));
}

// --- The profile and Startup folders -----------------------------------------

TEST(DossiersUtilisateur, DossierDeDemarrageSelonXdg) {
  Variable home("HOME", "/home/caisse");
  // Unset, empty or relative (ignored, as the XDG rules say): under HOME.
  for (const char* xdg :
       std::initializer_list<const char*>{"/srv/config/", "", nullptr, "relatif"}) {
    Variable v("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(dossier_demarrage(),
              xdg && *xdg == '/' ? "/srv/config/autostart" : "/home/caisse/.config/autostart");
  }
}

TEST(DossiersUtilisateur, DossierDuProfilEnWindows1252) {
  Variable xdg("XDG_CONFIG_HOME", nullptr);
  {
    Variable home("HOME", "/home/andr\303\251/");
    EXPECT_EQ(Cherche_Chemin(40), "/home/andr\351");
    EXPECT_EQ(dossier_demarrage(), "/home/andr\351/.config/autostart");
    EXPECT_EQ(Cherche_Chemin(26), "");
  }
  {
    // A name the program could not write back: no folder at all, never the
    // bare suffix at the root of the disk.
    Variable home("HOME", "/home/\346\227\245");
    EXPECT_EQ(Cherche_Chemin(40), "");
    EXPECT_EQ(dossier_demarrage(), std::nullopt);
  }
  {
    // Without HOME, the account's own folder.
    Variable home("HOME", nullptr);
    EXPECT_FALSE(Cherche_Chemin(40).empty());
  }
}

#else  // _WIN32

// On Windows the program search is the system's own (its order is checked on Linux).

TEST(Processus, CommandeEtProgrammeAbsent) {
  DossierTemporaire d;
  ASSERT_TRUE(demarre_commande("cmd /c echo ok> marqueur.tmp && move marqueur.tmp marqueur"));
  auto m = attend_marqueur(d.chemin() / "marqueur");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->substr(0, 2), "ok");
  Resultat r = demarre_programme("pontex-essai-absent.exe", Fenetre_lancement::normale);
  EXPECT_FALSE(r);
  EXPECT_NE(r.raison().find("pontex-essai-absent.exe"), std::string::npos) << r.raison();
  EXPECT_FALSE(demarre_programme("", Fenetre_lancement::normale));
}

// The marker without the program's path (its last field).
std::string sans_chemin(const std::string& m) {
  std::size_t fin = m.find(' ');
  for (int i = 0; i < 2 && fin != std::string::npos; ++i) fin = m.find(' ', fin + 1);
  return m.substr(0, fin);
}

// The stand-in program copied under `nom` into `dossier`.
void copie_marqueur(const fs::path& dossier, const std::string& nom) {
  fs::copy_file(PONTEX_MARQUEUR_ESSAI, dossier / nom, fs::copy_options::overwrite_existing);
}

TEST(Processus, ProgrammeParSonNomNormalOuReduitSansFocus) {
  DossierTemporaire d;
  const fs::path marqueur = d.chemin() / "marqueur";
  copie_marqueur(d.chemin(), "relvano-essai.exe");
  // Normal window with the focus; nothing of a minimised start passed on.
  ASSERT_TRUE(demarre_programme("relvano-essai.exe", Fenetre_lancement::normale));
  auto m = attend_marqueur(marqueur);
  ASSERT_TRUE(m);
  EXPECT_EQ(sans_chemin(*m), std::to_string(SW_SHOWNORMAL) + " absent normale") << *m;
  // Minimised without taking the focus: the window state and the wish.
  ASSERT_TRUE(demarre_programme("RELVANO-ESSAI.EXE", Fenetre_lancement::reduite_sans_focus));
  m = attend_marqueur(marqueur);
  ASSERT_TRUE(m);
  EXPECT_EQ(sans_chemin(*m), std::to_string(SW_SHOWMINNOACTIVE) + " 1 reduite") << *m;
  // A restart in a normal window that leaves the focus where it is.
  ASSERT_TRUE(demarre_programme("relvano-essai.exe", Fenetre_lancement::sans_focus));
  m = attend_marqueur(marqueur);
  ASSERT_TRUE(m);
  EXPECT_EQ(sans_chemin(*m), std::to_string(SW_SHOWNOACTIVATE) + " absent normale") << *m;
}

// Started as a Startup shortcut or Explorer does: a show state (or none), no minimised wish.
std::optional<std::string> demarre_avec_etat(const fs::path& programme, int etat) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (etat >= 0) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(etat);
  }
  wchar_t env[] = L"SYSTEMROOT=C:\\windows\0\0";
  std::wstring ligne = L"\"" + programme.wstring() + L"\"";
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, ligne.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        env, nullptr, &si, &pi))
    return std::nullopt;
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return attend_marqueur(fs::current_path() / "marqueur");
}

TEST(Processus, DemarrageReduitLuDansLesInformationsDeDemarrage) {
  DossierTemporaire d;
  copie_marqueur(d.chemin(), "pontex-essai.exe");
  const fs::path programme = d.chemin() / "pontex-essai.exe";
  // A shortcut set to "Minimised" gives SW_SHOWMINNOACTIVE; the other
  // minimised states count too. No wish in the environment.
  for (int etat : {SW_SHOWMINNOACTIVE, SW_SHOWMINIMIZED, SW_MINIMIZE}) {
    auto m = demarre_avec_etat(programme, etat);
    ASSERT_TRUE(m) << etat;
    EXPECT_EQ(sans_chemin(*m), std::to_string(etat) + " absent reduite") << etat;
  }
  for (int etat : {SW_SHOWNORMAL, SW_SHOW, SW_MAXIMIZE}) {
    auto m = demarre_avec_etat(programme, etat);
    ASSERT_TRUE(m) << etat;
    EXPECT_EQ(sans_chemin(*m), std::to_string(etat) + " absent normale") << etat;
  }
  auto m = demarre_avec_etat(programme, -1);
  ASSERT_TRUE(m);
  EXPECT_EQ(sans_chemin(*m), "-1 absent normale");
}

TEST(Processus, LeDossierDuProgrammePasseAvantLeDossierCourant) {
  DossierTemporaire d;
  const std::string nom = "pontex-essai-" + std::to_string(::GetCurrentProcessId()) + ".exe";
  const fs::path dossier_exe = dossier_executable();
  copie_marqueur(dossier_exe, nom);
  copie_marqueur(d.chemin(), nom);
  ASSERT_TRUE(demarre_programme(nom, Fenetre_lancement::normale));
  auto m = attend_marqueur(d.chemin() / "marqueur");
  ASSERT_TRUE(m);
  // Its path, as it saw it: in the folder of the running program.
  const std::string chemin = m->substr(sans_chemin(*m).size() + 1);
  EXPECT_EQ(fs::path(chemin).parent_path(), dossier_exe) << *m;
  // Wait for it to end before removing its program file: a program file
  // still running cannot be removed.
  std::error_code ec;
  for (int i = 0; i < 100 && fs::exists(dossier_exe / nom, ec); ++i) {
    if (!fs::remove(dossier_exe / nom, ec)) ::Sleep(50);
  }
}

TEST(Regional, SeparateurDecimalDesReglagesDuPoste) {
  // Whatever the user chose, it is one single-byte character.
  auto s = separateur_decimal_systeme();
  ASSERT_TRUE(s);
  EXPECT_TRUE(*s == '.' || *s == ',') << *s;
}

TEST(DossiersUtilisateur, DossierDeDemarrageSousLeProfil) {
  const std::string profil = Cherche_Chemin(40);
  ASSERT_FALSE(profil.empty());
  EXPECT_NE(profil.back(), '\\');
  EXPECT_EQ(dossier_demarrage(),
            profil + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
  EXPECT_EQ(Cherche_Chemin(0x7fff), "");
}

#endif

}  // namespace
}  // namespace pontex

// Starting the other programs on Linux. Pontex starts the relauncher and then
// ends at once; the relauncher starts Pontex and ends; the registration tool
// starts its return command and ends. The started program must outlive its
// starter and never stay behind as its zombie, so it is started through an
// intermediate child that ends at once (the program is then adopted by the
// system), in a session of its own, with the starter's current directory.

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "pontex/shared/chemins_posix.h"
#include "pontex/shared/plateforme_interne.h"
#include "pontex/shared/processus.h"

extern char** environ;

namespace pontex {

namespace {

// X11 and Wayland give a program no way to start another one minimised
// without the focus. The wish travels in the environment instead; the three
// programs read it and show their window minimised without activating it.
constexpr std::string_view variable_reduite = "PONTEX_DEMARRAGE_REDUIT";

// The starter's environment, with the minimised-start wish set exactly as
// asked (a wish inherited from our own start is not passed on by itself).
std::vector<std::string> environnement(Fenetre_lancement fenetre) {
  std::vector<std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string_view v = *e;
    if (v.starts_with(variable_reduite) && v.size() > variable_reduite.size() &&
        v[variable_reduite.size()] == '=')
      continue;
    env.emplace_back(v);
  }
  if (fenetre == Fenetre_lancement::reduite_sans_focus)
    env.push_back(std::string(variable_reduite) + "=1");
  return env;
}

std::vector<char*> pointeurs(std::vector<std::string>& textes) {
  std::vector<char*> p;
  for (auto& t : textes) p.push_back(t.data());
  p.push_back(nullptr);
  return p;
}

// Starts `programme` detached and reports whether it could be executed.
// Everything is prepared before fork(): between fork() and execve() only
// async-signal-safe calls are made (the windowed programs run other threads).
Resultat lance(const std::string& programme, std::vector<std::string> arguments,
               Fenetre_lancement fenetre) {
  std::vector<std::string> env = environnement(fenetre);
  std::vector<char*> argv = pointeurs(arguments);
  std::vector<char*> envp = pointeurs(env);

  // The program reports a failed execve through this pipe; a successful
  // execve closes it (O_CLOEXEC) and the starter reads end of file.
  int tube[2];
  if (::pipe2(tube, O_CLOEXEC) != 0)
    return Resultat::echec(std::string("pipe: ") + std::strerror(errno));

  const pid_t intermediaire = ::fork();
  if (intermediaire < 0) {
    const int erreur = errno;
    ::close(tube[0]);
    ::close(tube[1]);
    return Resultat::echec(std::string("fork: ") + std::strerror(erreur));
  }
  if (intermediaire == 0) {
    ::setsid();
    const pid_t enfant = ::fork();
    if (enfant == 0) {
      // Signals as a fresh program expects them, and no descriptor of the
      // starter (the windows' toolkit keeps some open) beyond the standard
      // three: all others are closed at execve.
      sigset_t vide;
      sigemptyset(&vide);
      ::sigprocmask(SIG_SETMASK, &vide, nullptr);
      struct sigaction defaut {};
      defaut.sa_handler = SIG_DFL;
      ::sigaction(SIGPIPE, &defaut, nullptr);
      ::sigaction(SIGCHLD, &defaut, nullptr);
      ::close_range(3, UINT_MAX, CLOSE_RANGE_CLOEXEC);
      ::execve(argv[0], argv.data(), envp.data());
      const int erreur = errno;
      [[maybe_unused]] ssize_t w = ::write(tube[1], &erreur, sizeof erreur);
      ::_exit(127);
    }
    ::_exit(enfant < 0 ? 1 : 0);
  }

  ::close(tube[1]);
  int statut = 0;
  while (::waitpid(intermediaire, &statut, 0) < 0 && errno == EINTR) {
  }
  int erreur_exec = 0;
  ssize_t n;
  do {
    n = ::read(tube[0], &erreur_exec, sizeof erreur_exec);
  } while (n < 0 && errno == EINTR);
  ::close(tube[0]);
  if (!WIFEXITED(statut) || WEXITSTATUS(statut) != 0)
    return Resultat::echec("cannot start " + programme + ": fork failed");
  if (n == static_cast<ssize_t>(sizeof erreur_exec))
    return Resultat::echec("cannot start " + programme + ": " + std::strerror(erreur_exec));
  return Resultat::succes();
}

bool executable(const std::string& chemin) {
  struct stat st;
  return ::stat(chemin.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(chemin.c_str(), X_OK) == 0;
}

std::string dossier_courant() {
  std::vector<char> tampon(PATH_MAX);
  while (::getcwd(tampon.data(), tampon.size()) == nullptr) {
    if (errno != ERANGE) return ".";
    tampon.resize(tampon.size() * 2);
  }
  return tampon.data();
}

// The program file for a bare name: in the executable's folder and in the
// current directory the name is matched ignoring case, as the programs name
// each other the Windows way ("Pontex.exe" finds "Pontex"); along PATH it
// is taken as written, as a shell would.
std::optional<std::string> cherche_programme(std::string_view nom) {
  for (const std::string& dossier : {dossier_executable(), dossier_courant()}) {
    if (dossier.empty()) continue;
    auto dossier_1252 = interne::cp1252_depuis_utf8(dossier);
    if (!dossier_1252) {
      // A folder that has no Windows-1252 name: exact name only.
      const std::string c = interne::joint_chemin(dossier, interne::utf8_depuis_1252(nom));
      if (executable(c)) return c;
      continue;
    }
    auto c = interne::resout_chemin(*dossier_1252 + "/" + std::string(nom));
    if (c && executable(*c)) return c;
  }
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::string_view reste = path;
  const std::string nom_utf8 = interne::utf8_depuis_1252(nom);
  while (true) {
    const std::size_t fin = reste.find(':');
    const std::string_view dossier = reste.substr(0, fin);
    // An empty PATH entry means the current directory, already searched.
    if (!dossier.empty()) {
      const std::string c = interne::joint_chemin(std::string(dossier), nom_utf8);
      if (executable(c)) return c;
    }
    if (fin == std::string_view::npos) break;
    reste.remove_prefix(fin + 1);
  }
  return std::nullopt;
}

}  // namespace

Resultat demarre_programme(std::string_view nom, Fenetre_lancement fenetre) {
  if (nom.find('\0') != std::string_view::npos) return Resultat::echec("name holds a NUL byte");
  // The programs name each other as on the workstation: "relvano.exe" is
  // the program "relvano" here.
  if (nom.size() > 4 && interne::egal_sans_casse(nom.substr(nom.size() - 4), ".exe"))
    nom.remove_suffix(4);
  if (nom.empty()) return Resultat::echec("no program name");
  std::optional<std::string> programme;
  if (std::any_of(nom.begin(), nom.end(), interne::est_separateur)) {
    // A path, not a bare name: no search.
    programme = interne::resout_chemin(nom);
    if (programme && !executable(*programme)) programme.reset();
  } else {
    programme = cherche_programme(nom);
  }
  if (!programme)
    return Resultat::echec("program " + std::string(nom) +
                           " not found in the program's folder, the current folder or PATH");
  std::vector<std::string> arguments{*programme};
  if (fenetre != Fenetre_lancement::normale) arguments.emplace_back(argument_sans_focus);
  return lance(*programme, std::move(arguments), fenetre);
}

// The command line comes from a Windows-1252 text file; the shell gets it in
// the system's UTF-8 so that the folder names in it ("Données") name the
// right folders. The shell itself always starts; whether the command it runs
// exists is its own business.
Resultat demarre_commande(std::string_view ligne) {
  if (ligne.find('\0') != std::string_view::npos)
    return Resultat::echec("command holds a NUL byte");
  if (ligne.find_first_not_of(" \t") == std::string_view::npos)
    return Resultat::echec("empty command");
  return lance("/bin/sh", {"/bin/sh", "-c", interne::utf8_depuis_1252(ligne)},
               Fenetre_lancement::normale);
}

std::string dossier_executable() {
  std::vector<char> tampon(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", tampon.data(), tampon.size());
    if (n < 0) return "";
    if (static_cast<std::size_t>(n) < tampon.size()) {
      std::string chemin(tampon.data(), static_cast<std::size_t>(n));
      const std::size_t barre = chemin.rfind('/');
      if (barre == std::string::npos) return "";
      return barre == 0 ? "/" : chemin.substr(0, barre);
    }
    tampon.resize(tampon.size() * 2);
  }
}

namespace {

std::string dossier_personnel_utf8() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  std::vector<char> tampon(16384);
  struct passwd pw;
  struct passwd* resultat = nullptr;
  if (::getpwuid_r(::getuid(), &pw, tampon.data(), tampon.size(), &resultat) == 0 &&
      resultat != nullptr && resultat->pw_dir != nullptr)
    return resultat->pw_dir;
  return "";
}

std::string sans_barre_finale(std::string chemin) {
  while (chemin.size() > 1 && chemin.back() == '/') chemin.pop_back();
  return chemin;
}

}  // namespace

// Only the profile folder (40) is ever asked for. A home folder whose name
// has no Windows-1252 form cannot be handed to the file operations: "".
std::string Cherche_Chemin(int dossier_special) {
  if (dossier_special != 40) return "";
  const std::string home = sans_barre_finale(dossier_personnel_utf8());
  if (home.empty()) return "";
  return interne::cp1252_depuis_utf8(home).value_or("");
}

// Desktop sessions start the entries of the XDG autostart folder at login.
// The XDG rules ignore a relative XDG_CONFIG_HOME.
std::optional<std::string> dossier_demarrage() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    auto d = interne::cp1252_depuis_utf8(sans_barre_finale(xdg));
    if (!d) return std::nullopt;
    return (*d == "/" ? std::string() : *d) + "/autostart";
  }
  const std::string home = Cherche_Chemin(40);
  if (home.empty()) return std::nullopt;
  return (home == "/" ? std::string() : home) + "/.config/autostart";
}

Fenetre_lancement mode_lancement_demande() {
  const char* valeur = std::getenv(std::string(variable_reduite).c_str());
  return valeur != nullptr && std::string_view(valeur) == "1"
             ? Fenetre_lancement::reduite_sans_focus
             : Fenetre_lancement::normale;
}

void termine_processus(int code) { ::_exit(code); }

}  // namespace pontex

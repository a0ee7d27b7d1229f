#include "pontex/fenetres/systeme.h"

#ifdef _WIN32
#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <utility>
#include <vector>

#include "pontex/shared/arret_systeme.h"
#endif

namespace pontex::fenetres {

namespace {

#ifdef _WIN32
// The running program's folder in the ANSI code page, or "" when it cannot
// be found or written there without loss.
std::string dossier_programme_ansi() {
  std::vector<wchar_t> tampon(MAX_PATH);
  DWORD n = 0;
  for (;;) {
    n = ::GetModuleFileNameW(nullptr, tampon.data(), static_cast<DWORD>(tampon.size()));
    if (n == 0) return {};
    if (n < tampon.size()) break;
    tampon.resize(tampon.size() * 2);
  }
  std::wstring chemin(tampon.data(), n);
  const std::size_t barre = chemin.find_last_of(L"\\/");
  if (barre == std::wstring::npos || barre == 0) return {};
  chemin.resize(barre);
  BOOL defaut = FALSE;
  const int taille =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, chemin.data(),
                            static_cast<int>(chemin.size()), nullptr, 0, nullptr, &defaut);
  if (taille <= 0 || defaut) return {};
  std::string r(static_cast<std::size_t>(taille), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, chemin.data(),
                        static_cast<int>(chemin.size()), r.data(), taille, nullptr, &defaut);
  if (defaut) return {};
  return r;
}
#endif

}  // namespace

std::string commande_dans_dossier(std::string_view ligne, std::string_view dossier) {
  const std::size_t debut = ligne.find_first_not_of(" \t");
  if (dossier.empty() || debut == std::string_view::npos || ligne[debut] == '"')
    return std::string(ligne);
  const std::size_t fin = ligne.find_first_of(" \t", debut);
  const std::string_view programme = ligne.substr(debut, fin - debut);
  if (programme.find_first_of("\\/:") != std::string_view::npos) return std::string(ligne);
  std::string r = "\"";
  r += dossier;
  if (r.back() != '\\') r += '\\';
  r += programme;
  r += '"';
  if (fin != std::string_view::npos) r += ligne.substr(fin);
  return r;
}

std::string commande_voisine(std::string_view ligne) {
#ifdef _WIN32
  return commande_dans_dossier(ligne, dossier_programme_ansi());
#else
  return std::string(ligne);
#endif
}

void restreint_chargement_dll() {
#ifdef _WIN32
  // The legacy search order first, for a system without the call below:
  // an empty DLL folder takes the current folder out of it.
  ::SetDllDirectoryW(L"");
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
#endif
}

#ifdef _WIN32
namespace {

// Sees every message of the program's windows before Qt does, and lets Qt
// have it: the answer to the question stays Qt's (yes).
class FiltreFinSession : public QAbstractNativeEventFilter {
 public:
  explicit FiltreFinSession(std::function<void(bool)> fin) : fin_(std::move(fin)) {}
  bool nativeEventFilter(const QByteArray& genre, void* message, qintptr*) override {
    if (genre != "windows_generic_MSG" || message == nullptr) return false;
    const MSG& m = *static_cast<const MSG*>(message);
    const bool question = m.message == WM_QUERYENDSESSION;
    // WM_ENDSESSION with FALSE: another program refused, the session goes on.
    const bool fin = m.message == WM_ENDSESSION && m.wParam != 0;
    if (!question && !fin) return false;
    demande_arret();
    if (fin_) fin_(fin);
    return false;
  }

 private:
  std::function<void(bool)> fin_;
};

}  // namespace
#endif

void suit_fin_session(std::function<void(bool maintenant)> fin) {
#ifdef _WIN32
  // Lives as long as the process: the session may end at any time.
  static FiltreFinSession filtre(std::move(fin));
  if (QCoreApplication* application = QCoreApplication::instance())
    application->installNativeEventFilter(&filtre);
#else
  (void)fin;  // the session's end comes as signals (installe_arret_systeme)
#endif
}

std::string programme_voisin(std::string_view nom) {
#ifdef _WIN32
  const std::string dossier = dossier_programme_ansi();
  if (dossier.empty() || nom.empty() || nom.find_first_of("\\/:\"") != std::string_view::npos)
    return std::string(nom);
  return dossier + "\\" + std::string(nom);
#else
  return std::string(nom);
#endif
}

Resultat SystemeReel::demarre(std::string_view nom, Fenetre_lancement fenetre) {
  // The platform layer quotes the name itself.
  return demarre_programme(programme_voisin(nom), fenetre);
}

void SystemeReel::termine() { termine_processus(0); }

}  // namespace pontex::fenetres

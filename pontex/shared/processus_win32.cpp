// Starting the other programs on Windows, and the per-user folders.

#include <shlobj.h>
#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/plateforme_interne.h"
#include "pontex/shared/processus.h"

namespace pontex {

namespace {

// The window state is asked of the system (STARTF_USESHOWWINDOW); the same
// wish also travels in the environment, so the three programs read it the
// same way on every system (on Linux it is the only way).
constexpr wchar_t variable_reduite[] = L"PONTEX_DEMARRAGE_REDUIT=";

bool est_variable_reduite(const wchar_t* entree) {
  return ::_wcsnicmp(entree, variable_reduite, std::wcslen(variable_reduite)) == 0;
}

// Our environment block with the minimised-start wish set exactly as asked
// (an inherited one is not passed on by itself). Kept in the system's
// order: sorted by name, ignoring case.
std::vector<wchar_t> environnement(Fenetre_lancement fenetre) {
  std::vector<std::wstring> entrees;
  if (wchar_t* bloc = ::GetEnvironmentStringsW()) {
    for (const wchar_t* e = bloc; *e != L'\0'; e += std::wcslen(e) + 1)
      if (!est_variable_reduite(e)) entrees.emplace_back(e);
    ::FreeEnvironmentStringsW(bloc);
  }
  if (fenetre == Fenetre_lancement::reduite_sans_focus) {
    const std::wstring nouvelle = std::wstring(variable_reduite) + L"1";
    // The per-drive entries ("=C:=C:\\...") come first, then the names.
    auto ou = entrees.begin();
    while (ou != entrees.end() && (*ou)[0] == L'=') ++ou;
    while (ou != entrees.end() && ::_wcsicmp(ou->c_str(), nouvelle.c_str()) < 0) ++ou;
    entrees.insert(ou, nouvelle);
  }
  std::vector<wchar_t> bloc;
  for (const auto& e : entrees) bloc.insert(bloc.end(), e.c_str(), e.c_str() + e.size() + 1);
  bloc.push_back(L'\0');
  if (bloc.size() == 1) bloc.push_back(L'\0');
  return bloc;
}

Resultat lance(std::wstring ligne, Fenetre_lancement fenetre, std::string_view pour_message) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  switch (fenetre) {
    case Fenetre_lancement::normale:
      si.wShowWindow = SW_SHOWNORMAL;
      break;
    case Fenetre_lancement::sans_focus:
      si.wShowWindow = SW_SHOWNOACTIVATE;
      break;
    case Fenetre_lancement::reduite_sans_focus:
      si.wShowWindow = SW_SHOWMINNOACTIVE;
      break;
  }
  PROCESS_INFORMATION pi{};
  std::vector<wchar_t> env = environnement(fenetre);
  // No application name: the system looks for the program as it always
  // does (the folder of the running program, the current folder, the system
  // folders, then PATH) and adds ".exe" when the name has no extension.
  if (!::CreateProcessW(nullptr, ligne.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        env.data(), nullptr, &si, &pi))
    return Resultat::echec("cannot start " + std::string(pour_message) + ": " +
                           interne::texte_erreur(::GetLastError()));
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return Resultat::succes();
}

}  // namespace

Resultat demarre_programme(std::string_view nom, Fenetre_lancement fenetre) {
  if (nom.find('\0') != std::string_view::npos) return Resultat::echec("name holds a NUL byte");
  if (nom.empty()) return Resultat::echec("no program name");
  // Quoted, so that a name with a space is one program and not arguments.
  std::wstring ligne = L"\"" + interne::large_depuis_ansi(nom) + L"\"";
  if (fenetre != Fenetre_lancement::normale) {
    ligne += L" ";
    ligne += interne::large_depuis_ansi(argument_sans_focus);
  }
  return lance(std::move(ligne), fenetre, nom);
}

Resultat demarre_commande(std::string_view ligne) {
  if (ligne.find('\0') != std::string_view::npos)
    return Resultat::echec("command holds a NUL byte");
  if (ligne.find_first_not_of(" \t") == std::string_view::npos)
    return Resultat::echec("empty command");
  return lance(interne::large_depuis_ansi(ligne), Fenetre_lancement::normale, ligne);
}

std::string dossier_executable() {
  std::vector<wchar_t> tampon(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, tampon.data(), static_cast<DWORD>(tampon.size()));
    if (n == 0) return "";
    if (n < tampon.size()) {
      std::wstring chemin(tampon.data(), n);
      const std::size_t barre = chemin.find_last_of(L"\\/");
      if (barre == std::wstring::npos) return "";
      return interne::utf8_depuis_large(chemin.substr(0, barre));
    }
    tampon.resize(tampon.size() * 2);
  }
}

// The shell's special folder (40: the user's profile) through its item
// identifier list, into a buffer of 512 bytes. A folder the shell cannot
// turn into a path gives "", like a failed lookup.
std::string Cherche_Chemin(int dossier_special) {
  LPITEMIDLIST liste = nullptr;
  if (::SHGetSpecialFolderLocation(nullptr, dossier_special, &liste) != S_OK || liste == nullptr)
    return "";
  char tampon[512] = {};
  const BOOL ok = ::SHGetPathFromIDListA(liste, tampon);
  ::CoTaskMemFree(liste);
  if (!ok) return "";
  tampon[sizeof tampon - 1] = '\0';
  return tampon;
}

std::optional<std::string> dossier_demarrage() {
  const std::string profil = Cherche_Chemin(40);
  // Without a profile folder there is no Startup folder; the bare suffix
  // would name a folder at the root of the current drive.
  if (profil.empty()) return std::nullopt;
  return profil + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
}

Fenetre_lancement mode_lancement_demande() {
  // A shortcut set to start "Minimised" asks for SW_SHOWMINNOACTIVE; any
  // minimised state is taken as that: the programs never take the focus
  // from the till when they start minimised.
  STARTUPINFOW info{};
  info.cb = sizeof info;
  ::GetStartupInfoW(&info);
  if ((info.dwFlags & STARTF_USESHOWWINDOW) != 0) {
    switch (info.wShowWindow) {
      case SW_SHOWMINNOACTIVE:
      case SW_SHOWMINIMIZED:
      case SW_MINIMIZE:
      case SW_FORCEMINIMIZE:
        return Fenetre_lancement::reduite_sans_focus;
      case SW_SHOWNOACTIVATE:
      case SW_SHOWNA:
        return Fenetre_lancement::sans_focus;
      default:
        break;
    }
  }
  // Started by a program that could not set the start-up information (the
  // Linux build under Wine, a script): the wish in the environment.
  wchar_t valeur[4] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"PONTEX_DEMARRAGE_REDUIT", valeur, 4);
  return n == 1 && valeur[0] == L'1' ? Fenetre_lancement::reduite_sans_focus
                                     : Fenetre_lancement::normale;
}

void termine_processus(int code) { ::ExitProcess(static_cast<UINT>(code)); }

}  // namespace pontex

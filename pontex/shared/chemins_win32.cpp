// Windows paths: the program's texts are in the ANSI code page, the API is
// called with wide texts so that no conversion is left to the system's
// narrow functions.

#include "pontex/shared/chemins_win32.h"

#include <windows.h>

#include <algorithm>

#include "pontex/shared/fichiers.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex::interne {

std::wstring large_depuis_ansi(std::string_view texte) {
  if (texte.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, texte.data(), static_cast<int>(texte.size()), nullptr, 0);
  std::wstring r(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, texte.data(), static_cast<int>(texte.size()), r.data(), n);
  return r;
}

std::optional<std::string> ansi_depuis_large(std::wstring_view texte) {
  if (texte.empty()) return std::string();
  BOOL defaut = FALSE;
  const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, texte.data(),
                                      static_cast<int>(texte.size()), nullptr, 0, nullptr, &defaut);
  if (n <= 0 || defaut) return std::nullopt;
  std::string r(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, texte.data(), static_cast<int>(texte.size()),
                        r.data(), n, nullptr, &defaut);
  if (defaut) return std::nullopt;
  return r;
}

std::string utf8_depuis_large(std::wstring_view texte) {
  if (texte.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, texte.data(), static_cast<int>(texte.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string r(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, texte.data(), static_cast<int>(texte.size()), r.data(), n,
                        nullptr, nullptr);
  return r;
}

namespace {

// Windows drops the trailing spaces and dots of a path's last name, so the
// folder made for "#TRANSIT#...\neuf  " is "neuf"; it keeps them in the
// names before, where "neuf  \import" then reaches nothing. They are dropped
// there too, so that a folder is reached by the same text it was made with.
void retire_fins_noms(std::wstring& chemin) {
  std::size_t debut = 0;
  while (true) {
    const std::size_t fin = chemin.find_first_of(L"\\/", debut);
    if (fin == std::wstring::npos) return;
    std::size_t garde = fin;
    while (garde > debut && (chemin[garde - 1] == L' ' || chemin[garde - 1] == L'.')) --garde;
    // "." and ".." name folders; a name of spaces alone is left as it is.
    const bool points = chemin.find_first_not_of(L'.', debut) >= fin;
    if (garde > debut && !points && garde < fin) {
      chemin.erase(garde, fin - garde);
      debut = garde + 1;
    } else {
      debut = fin + 1;
    }
  }
}

}  // namespace

std::optional<std::wstring> chemin_large(std::string_view chemin) {
  if (chemin.find('\0') != std::string_view::npos) return std::nullopt;
  if (chemin.empty()) return std::wstring(L".");
  std::wstring large = large_depuis_ansi(chemin);
  retire_fins_noms(large);
  return large;
}

std::wstring joint_large(const std::wstring& dossier, std::wstring_view nom) {
  if (dossier.empty()) return std::wstring(nom);
  std::wstring r = dossier;
  if (r.back() != L'\\' && r.back() != L'/' && r.back() != L':') r.push_back(L'\\');
  r.append(nom);
  return r;
}

std::string texte_erreur(unsigned long code) {
  char* texte = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&texte), 0, nullptr);
  std::string r = n > 0 && texte != nullptr ? std::string(texte, n) : std::string();
  if (texte != nullptr) ::LocalFree(texte);
  while (!r.empty() && (r.back() == '\n' || r.back() == '\r' || r.back() == ' ')) r.pop_back();
  if (r.empty()) r = "system error " + std::to_string(code);
  return r;
}

// The folder is read whole ("*") and the pattern applied here rather than by
// the system: the system also matches patterns against the short 8.3 names,
// so "*.txt" would list "stock.txt1" (short name "STOCK~1.TXT"), a file the
// import could never take.
bool liste_natif(const std::wstring& dossier, std::string_view motif,
                 std::vector<std::string>& noms_ansi, std::vector<std::wstring>& noms_larges,
                 unsigned long& erreur) {
  noms_ansi.clear();
  noms_larges.clear();
  WIN32_FIND_DATAW donnees;
  const std::wstring recherche = joint_large(dossier.empty() ? std::wstring(L".") : dossier, L"*");
  HANDLE h = ::FindFirstFileExW(recherche.c_str(), FindExInfoBasic, &donnees, FindExSearchNameMatch,
                                nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) {
    erreur = ::GetLastError();
    // An empty drive root holds no entry at all: an empty list.
    return erreur == ERROR_FILE_NOT_FOUND;
  }
  std::vector<std::pair<std::string, std::wstring>> trouves;
  do {
    constexpr DWORD exclus =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (donnees.dwFileAttributes & exclus) continue;
    // A name with no ANSI form could not be handed back by the program.
    auto nom = ansi_depuis_large(donnees.cFileName);
    if (!nom || !correspond_motif(*nom, motif)) continue;
    trouves.emplace_back(std::move(*nom), donnees.cFileName);
  } while (::FindNextFileW(h, &donnees));
  erreur = ::GetLastError();
  ::FindClose(h);
  if (erreur != ERROR_NO_MORE_FILES) return false;
  std::sort(trouves.begin(), trouves.end(),
            [](const auto& a, const auto& b) { return avant_dans_liste(a.first, b.first); });
  for (auto& t : trouves) {
    noms_ansi.push_back(std::move(t.first));
    noms_larges.push_back(std::move(t.second));
  }
  erreur = 0;
  return true;
}

}  // namespace pontex::interne

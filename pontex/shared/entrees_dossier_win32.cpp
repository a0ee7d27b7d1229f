// The import folder's entries on Windows. A folder there holds only files
// and folders (no pipe or device can be put in one), so every name is a file
// the exchange may take, but for names the ANSI code page cannot hold: the
// program names its files in that code page, and such a name would come
// back from it as another name ("?" in place of a character), or as a
// wildcard for any call that reads one. Those are listed escaped and left.

#include <windows.h>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/entrees_dossier.h"
#include "pontex/shared/fichiers.h"
#include "pontex/shared/fichiers_natifs.h"
#include "pontex/shared/plateforme_interne.h"

namespace pontex::interne {

namespace {

// The program form of a listed name; `entier` false when some character had
// no ANSI form and stands as its UTF-8 bytes written "\xhh" (the form Linux
// gives the same name; a Windows name holds no backslash of its own).
std::string nom_programme(std::wstring_view nom, bool& entier) {
  if (auto ansi = ansi_depuis_large(nom)) {
    entier = true;
    return std::move(*ansi);
  }
  entier = false;
  static constexpr char chiffres[] = "0123456789abcdef";
  std::string r;
  for (std::size_t i = 0; i < nom.size();) {
    // A character outside the basic plane is a pair of UTF-16 units.
    const bool paire =
        i + 1 < nom.size() && IS_HIGH_SURROGATE(nom[i]) && IS_LOW_SURROGATE(nom[i + 1]);
    const std::wstring_view c = nom.substr(i, paire ? 2 : 1);
    i += c.size();
    if (auto ansi = ansi_depuis_large(c)) {
      r += *ansi;
      continue;
    }
    for (const char octet : utf8_depuis_large(c)) {
      const auto u = static_cast<unsigned char>(octet);
      r += "\\x";
      r += chiffres[u >> 4];
      r += chiffres[u & 0xF];
    }
  }
  return r;
}

}  // namespace

bool lit_entrees(const DossierTenu& dossier, std::string_view motif,
                 std::vector<EntreeDossier>& entrees, CodeSysteme& code) {
  // Held without delete sharing, the folder under this name is the one
  // opened: it can be neither renamed nor replaced meanwhile.
  auto large = chemin_large(dossier.chemin());
  if (!large) {
    code = ERROR_INVALID_NAME;
    return false;
  }
  // Read whole ("*"), the pattern applied here: the system would also match
  // it against the short 8.3 names.
  WIN32_FIND_DATAW donnees;
  const HANDLE h = ::FindFirstFileExW(joint_large(*large, L"*").c_str(), FindExInfoBasic, &donnees,
                                      FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) {
    code = ::GetLastError();
    // An empty drive root holds no entry at all: an empty list.
    return code == ERROR_FILE_NOT_FOUND;
  }
  do {
    // Hidden and system files are not shown, as the file list box leaves
    // them out.
    constexpr DWORD exclus =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (donnees.dwFileAttributes & exclus) continue;
    bool entier = true;
    std::string nom = nom_programme(donnees.cFileName, entier);
    if (!correspond_motif(nom, motif)) continue;
    entrees.push_back({std::move(nom), entier});
  } while (::FindNextFileW(h, &donnees));
  code = ::GetLastError();
  ::FindClose(h);
  return code == ERROR_NO_MORE_FILES;
}

}  // namespace pontex::interne

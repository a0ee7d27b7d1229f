// The folder lock on Windows: our own lock file opened with no sharing at
// all. A second opening fails with a sharing violation for as long as the
// handle lives; the system closes it when the process ends. The handle is
// not inheritable, so the relauncher started by Pontex does not hold it.

#include <windows.h>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/plateforme_interne.h"
#include "pontex/shared/verrou.h"

namespace pontex {

VerrouDossier::~VerrouDossier() { libere(); }

Resultat VerrouDossier::prend(std::string_view chemin, bool& occupe) {
  occupe = false;
  libere();
  auto large = interne::chemin_large(chemin);
  if (!large) return Resultat::echec("path holds a NUL byte");
  HANDLE h = ::CreateFileW(large->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    occupe = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
    return Resultat::echec("lock " + std::string(chemin) + ": " + interne::texte_erreur(code));
  }
  handle_ = h;
  return Resultat::succes();
}

void VerrouDossier::libere() {
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool VerrouDossier::tenu() const { return handle_ != nullptr; }

}  // namespace pontex

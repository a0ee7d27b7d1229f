// The folder lock on Windows: an exclusive byte-range lock (LockFileEx) on
// our own lock file, the equivalent of flock. The file is opened with every
// sharing, so a backup agent or an indexer that has it open neither looks
// like a second Pontex nor keeps one from starting; only the lock tells.
// The file stays empty: the locked byte lies past its end, where nobody
// reads. The handle is not inheritable, so the relauncher started by Pontex
// does not hold it; the system lets the lock go when the process ends.

#include <windows.h>

#include "pontex/shared/chemins_win32.h"
#include "pontex/shared/plateforme_interne.h"
#include "pontex/shared/verrou.h"

namespace pontex {

namespace {

constexpr DWORD octets_verrouilles = 1;

}  // namespace

VerrouDossier::~VerrouDossier() { libere(); }

PriseVerrou VerrouDossier::prend(std::string_view chemin) {
  libere();
  auto large = interne::chemin_large(chemin);
  if (!large) return {IssueVerrou::impossible, "path holds a NUL byte"};
  HANDLE h = ::CreateFileW(large->c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // A folder under the name, a file this account may not write, a
    // program holding it open with no sharing at all (no Pontex does):
    // nothing says another Pontex works here.
    return {IssueVerrou::impossible,
            "open " + std::string(chemin) + ": " + interne::texte_erreur(::GetLastError())};
  }
  OVERLAPPED position{};
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, octets_verrouilles,
                    0, &position)) {
    const DWORD code = ::GetLastError();
    ::CloseHandle(h);
    // Held by another handle: another Pontex. Anything else (a network
    // share that refuses locks) tells nothing of one.
    const IssueVerrou issue =
        code == ERROR_LOCK_VIOLATION ? IssueVerrou::tenu_par_un_autre : IssueVerrou::impossible;
    return {issue, "lock " + std::string(chemin) + ": " + interne::texte_erreur(code)};
  }
  handle_ = h;
  return {IssueVerrou::pris, {}};
}

void VerrouDossier::libere() {
  if (handle_ == nullptr) return;
  const HANDLE h = static_cast<HANDLE>(handle_);
  // Let go at once: a lock left to the close may outlive it a moment, and
  // the next Pontex is already trying.
  OVERLAPPED position{};
  (void)::UnlockFileEx(h, 0, octets_verrouilles, 0, &position);  // the close lets it go anyway
  ::CloseHandle(h);
  handle_ = nullptr;
}

bool VerrouDossier::tenu() const { return handle_ != nullptr; }

}  // namespace pontex

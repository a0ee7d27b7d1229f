#pragma once
// One Pontex per folder. Two Pontex working in one folder would share the
// working file and apply received files twice or not at all, so each
// process holds a lock on a file of its own beside "Pontex.wdo" for its
// whole life. The lock is the system's: it goes with the process, however
// the process ends (a kill, a crash), and never leaves the folder locked.
// It is never taken on a cash-register file: the till knows no lock.
//
// The lock is a byte-range lock on the file, not the file's opening: a
// backup agent or an indexer that reads the file with ordinary sharing
// neither takes the lock nor keeps a Pontex from it.

#include <chrono>
#include <string>
#include <string_view>

namespace pontex {

// The lock file of the current folder.
inline constexpr std::string_view nom_fichier_verrou = "Pontex.verrou";

// What came of a try to take the lock.
enum class IssueVerrou {
  pris,               // held by this process from now on
  tenu_par_un_autre,  // another Pontex works in this folder
  // The lock could not be taken at all, and nobody can tell whether
  // another Pontex works here: a folder or a file of another user under the
  // lock file's name, a network home that refuses locks, access denied.
  // No exchange runs; the cause may go away, so it is tried again later.
  impossible,
  arret,  // a stop was asked by the system while waiting for another Pontex
};

struct PriseVerrou {
  IssueVerrou issue = IssueVerrou::impossible;
  // Empty when taken; otherwise a short English reason (the system's words).
  std::string raison;
  explicit operator bool() const { return issue == IssueVerrou::pris; }
};

class VerrouDossier {
 public:
  VerrouDossier() = default;
  ~VerrouDossier();
  VerrouDossier(const VerrouDossier&) = delete;
  VerrouDossier& operator=(const VerrouDossier&) = delete;

  // Takes the lock on `chemin` (created when missing) without waiting.
  PriseVerrou prend(std::string_view chemin);
  void libere();
  bool tenu() const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// Takes the lock, waiting for another Pontex to let it go: one that ends
// to restart through the relauncher lets it go within moments. Tries again
// every `pause` until `delai` has passed, and gives up at once when the
// lock cannot be taken at all or when the system asks the program to stop
// (a logoff must not wait for another Pontex).
PriseVerrou attend_verrou(VerrouDossier& verrou, std::string_view chemin,
                          std::chrono::milliseconds delai, std::chrono::milliseconds pause);

}  // namespace pontex

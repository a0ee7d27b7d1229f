#pragma once
// One Pontex per folder. Two Pontex working in one folder would share the
// working file and apply received files twice or not at all, so each
// process holds a lock on a file of its own beside "Pontex.wdo" for its
// whole life. The lock is the system's: it goes with the process, however
// the process ends (a kill, a crash), and never leaves the folder locked.
// It is never taken on a cash-register file: the till knows no lock.

#include <chrono>
#include <string>
#include <string_view>

#include "pontex/shared/resultat.h"

namespace pontex {

// The lock file of the current folder.
inline constexpr std::string_view nom_fichier_verrou = "Pontex.verrou";

class VerrouDossier {
 public:
  VerrouDossier() = default;
  ~VerrouDossier();
  VerrouDossier(const VerrouDossier&) = delete;
  VerrouDossier& operator=(const VerrouDossier&) = delete;

  // Takes the lock on `chemin` (created when missing) without waiting.
  // Fails when another holder has it, or when the file cannot be opened;
  // `occupe` then tells which.
  Resultat prend(std::string_view chemin, bool& occupe);
  void libere();
  bool tenu() const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// Takes the lock, waiting for another holder to let it go: a Pontex that
// ends to restart through the relauncher lets it go within moments. Tries
// again every `pause` until `delai` has passed; `occupe` tells, on failure,
// that another holder still has it.
Resultat attend_verrou(VerrouDossier& verrou, std::string_view chemin,
                       std::chrono::milliseconds delai, std::chrono::milliseconds pause,
                       bool& occupe);

}  // namespace pontex

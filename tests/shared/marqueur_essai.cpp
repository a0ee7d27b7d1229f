// Windows start tests' stand-in: writes how it was started, and its path, into "marqueur".

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "pontex/shared/processus.h"

int main() {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  ::GetStartupInfoW(&si);
  const int etat = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;
  const char* reduit = std::getenv("PONTEX_DEMARRAGE_REDUIT");
  const bool reduite =
      pontex::mode_lancement_demande() == pontex::Fenetre_lancement::reduite_sans_focus;
  char chemin[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, chemin, MAX_PATH);
  // Written under another name first, so the test never reads half a file.
  std::FILE* f = std::fopen("marqueur.tmp", "wb");
  if (f == nullptr) return 1;
  std::fprintf(f, "%d %s %s %s", etat, reduit ? reduit : "absent", reduite ? "reduite" : "normale",
               chemin);
  std::fclose(f);
  return ::MoveFileExA("marqueur.tmp", "marqueur", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

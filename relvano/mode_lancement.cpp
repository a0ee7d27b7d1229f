#include "relvano/mode_lancement.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <string_view>
#endif

namespace relvano {

pontex::Fenetre_lancement lit_mode_lancement() {
#ifdef _WIN32
  // The starter's choice travels in the start-up information of the process.
  STARTUPINFOW info{};
  info.cb = sizeof info;
  GetStartupInfoW(&info);
  if ((info.dwFlags & STARTF_USESHOWWINDOW) != 0 &&
      (info.wShowWindow == SW_SHOWMINNOACTIVE || info.wShowWindow == SW_SHOWMINIMIZED ||
       info.wShowWindow == SW_MINIMIZE)) {
    return pontex::Fenetre_lancement::reduite_sans_focus;
  }
  return pontex::Fenetre_lancement::normale;
#else
  // X11 and Wayland have no start-up show state: the platform layer marks a
  // minimised start in the environment of the program it starts.
  const char* valeur = std::getenv("PONTEX_DEMARRAGE_REDUIT");
  if (valeur != nullptr && std::string_view(valeur) == "1") {
    return pontex::Fenetre_lancement::reduite_sans_focus;
  }
  return pontex::Fenetre_lancement::normale;
#endif
}

}  // namespace relvano

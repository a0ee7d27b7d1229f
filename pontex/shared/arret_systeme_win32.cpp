// The console's stop events on Windows. The handler runs on a thread of its
// own; for a close, logoff or shutdown the system ends the process as soon
// as the handler returns, so it holds on while the window thread finishes
// its record and ends the process itself (ExitProcess ends this thread too).
// The system gives a handler a few seconds; a record takes milliseconds.

#include <windows.h>

#include "pontex/shared/arret_systeme.h"

namespace pontex {

namespace {

BOOL WINAPI sur_evenement_console(DWORD evenement) {
  switch (evenement) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      demande_arret();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      demande_arret();
      ::Sleep(10000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void installe_arret_systeme() {
  (void)::SetConsoleCtrlHandler(sur_evenement_console, TRUE);
}  // refused: the default end

}  // namespace pontex

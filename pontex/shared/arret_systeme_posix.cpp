// The stop signals on Linux. A session that ends sends SIGHUP to what it
// started and SIGTERM to what is left; a person at a terminal sends SIGINT.
// Each only raises the flag: the program ends on its own terms, with its
// record finished and its journal written.

#include <csignal>
#include <initializer_list>

#include "pontex/shared/arret_systeme.h"

namespace pontex {

namespace {
void sur_signal_arret(int) { demande_arret(); }
}  // namespace

void installe_arret_systeme() {
  struct sigaction action {};
  action.sa_handler = sur_signal_arret;
  sigemptyset(&action.sa_mask);
  // A read or write of a record interrupted by the signal goes on: the flag
  // is looked at between records, never in the middle of one.
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP})
    (void)::sigaction(signal, &action, nullptr);  // refused: the default end, as before
}

}  // namespace pontex

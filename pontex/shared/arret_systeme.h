#pragma once
// A stop asked by the system: the user logging off, the machine shutting
// down, a service manager or a person ending the process politely. Pontex
// then finishes the record under way, notes where the next start goes on,
// writes its journal and ends; it never dies half-way through a record
// with its journal lines still in memory.
//
//  - Linux: SIGTERM, SIGINT and SIGHUP;
//  - Windows: the console's close, logoff and shutdown events (a console
//    window the program was started from); the window system's end of
//    session reaches the windows, which call demande_arret().
//
// The handler only raises a flag: the exchange looks at it between two
// records, the window between two events.

namespace pontex {

// Installs the handlers. Once per process, before the first window.
void installe_arret_systeme();

// A stop was asked (by the system, or through demande_arret).
bool arret_demande();

// Asks the stop from the program itself (the window system's end of session).
void demande_arret();

// Forgets a stop asked: for tests that ask one in-process.
void oublie_arret();

}  // namespace pontex

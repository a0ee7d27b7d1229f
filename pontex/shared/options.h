#pragma once
// The two options every program of the shop's folder answers from a
// terminal: --help and --version. They are handled before anything else, so
// that asking needs no display and leaves the folder as it was (no lock
// file, no journal, no window).

#include <optional>
#include <string_view>

namespace pontex {

// The version of the programs, as the package and the installer carry it.
std::string_view version_pontex();

// When an argument is "--help" or "--version": prints the help text `aide`
// or "<programme> <version>" on the standard output and gives the exit
// status (0). Nothing otherwise: the program goes on as usual.
std::optional<int> option_standard(int argc, char** argv, std::string_view programme,
                                   std::string_view aide);

}  // namespace pontex

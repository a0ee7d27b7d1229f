#pragma once
// The workstation's regional settings that the files depend on.

#include <optional>

namespace pontex {

// The decimal separator of the user's regional settings, when the system
// keeps one for the core to read: on Windows, the user's locale settings
// (the separator quantities are written with in the export and the
// journal). On Linux there is none to read without a generated C library
// locale; the window programs take it from their toolkit's system locale.
// Nothing also when the separator is not one single-byte character.
std::optional<char> separateur_decimal_systeme();

}  // namespace pontex

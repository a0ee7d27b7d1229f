#include "pontex/shared/regional.h"

namespace pontex {

// glibc only knows a language's separator through a generated locale, which
// a shop workstation may not have: the windows ask Qt, which carries its own
// locale data and reads LC_ALL, LC_NUMERIC and LANG the same way.
std::optional<char> separateur_decimal_systeme() { return std::nullopt; }

}  // namespace pontex

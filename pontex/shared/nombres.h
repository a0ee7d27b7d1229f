#pragma once
// The one way the system reads a number from text, and the ways it writes
// numbers into files and the journal. Nothing here depends on the C
// library's locale: the window program's toolkit switches that locale to the
// user's at start-up, and files must not follow it. The decimal separator of
// the workstation is passed in by the caller.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pontex {

// Numeric text reader. Spaces, TABs and LFs are ignored wherever they stand;
// then an optional sign, digits with at most one "." as decimal mark and an
// optional exponent (E or D, optional sign, digits) are read; reading stops
// at the first other character. "&H" and "&O" read hexadecimal and octal
// whole numbers. The comma is never a decimal mark ("1,5" reads 1). No digit
// gives 0. A number too large for a double (1e400) gives nothing: the
// caller decides what an unreadable quantity means.
std::optional<double> lit_nombre_sur(std::string_view texte);
// The same, and in `arret` the position of the character where reading
// stopped (the text's size when it ran to the end), for a file format with
// a rule of its own about what may follow a number.
std::optional<double> lit_nombre_sur(std::string_view texte, std::size_t& arret);
// The same, with 0 for a number too large for a double.
double lit_nombre(std::string_view texte);

// Rounds to the nearest whole number, halves to the even one (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2). Nothing when the value lies outside [min, max].
std::optional<std::int64_t> arrondi_pair(double valeur, std::int64_t min, std::int64_t max);

// "0.00": rounded to the hundredth, halves away from zero, two decimals, at
// least one digit before the separator, "-" for negative values, no
// thousands separator: 12.5 -> "12,50" with ',' ; -2 -> "-2.00" with '.';
// 0.125 -> "0.13".
std::string format_deux_decimales(double valeur, char separateur);

// Printed-number form of the daily error file: the shortest decimal text of
// the number with up to 15 significant digits, exponent form ("1E+15",
// "1E-05") for very large or very small values, no 0 before the separator
// between -1 and 1 (".5"), preceded by a space when not negative (the minus
// sign takes its place) and followed by one space: 2 -> " 2 ", -1.5 with ','
// -> "-1,5 ".
std::string format_nombre_imprime(double valeur, char separateur);

// Shortest decimal text with up to 15 significant digits, the same as the
// printed-number form without the surrounding spaces or sign space.
std::string format_general(double valeur, char separateur);

// "00": rounded to a whole number, at least two digits: 4 -> "04",
// -1 -> "-01", 30 -> "30", 123 -> "123".
std::string format_00(double valeur);

}  // namespace pontex

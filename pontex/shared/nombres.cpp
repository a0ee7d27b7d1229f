#include "pontex/shared/nombres.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <system_error>

namespace pontex {

namespace {

bool est_blanc(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool est_chiffre(char c) { return c >= '0' && c <= '9'; }
bool est_hexa(char c) { return est_chiffre(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool est_octal(char c) { return c >= '0' && c <= '7'; }

// Walks a text the way the reader sees it: spaces, TABs and LFs do not
// exist for it, wherever they stand ("1 2" is 12).
class Curseur {
 public:
  explicit Curseur(std::string_view t) : texte_(t) { saute(); }
  bool fini() const { return pos_ >= texte_.size(); }
  char courant() const { return fini() ? '\0' : texte_[pos_]; }
  std::size_t position() const { return pos_; }
  void avance() {
    ++pos_;
    saute();
  }

 private:
  void saute() {
    while (pos_ < texte_.size() && est_blanc(texte_[pos_])) ++pos_;
  }
  std::string_view texte_;
  std::size_t pos_ = 0;
};

// from_chars reports a number it cannot hold as out of range, both when it
// is too large and when it is too small. A tiny quantity is 0 to the shop;
// only a too large one is unreadable. `amplitude` is the decimal position
// of the first significant digit (positive: that many digits before the
// point), which is all that is needed to tell the two apart.
std::optional<double> hors_limites(long long amplitude) {
  if (amplitude > 0) return std::nullopt;
  return 0.0;
}

// "&H1F": hexadecimal whole number. The value is the one written, never
// wrapped to a negative 16- or 32-bit number: a shop's file that says
// &HFFFF means 65535, not -1. No digit gives 0.
std::optional<double> lit_hexa(Curseur& c) {
  std::string chiffres;
  while (est_hexa(c.courant())) {
    chiffres.push_back(c.courant());
    c.avance();
  }
  if (chiffres.empty()) return 0.0;
  double v = 0.0;
  auto r = std::from_chars(chiffres.data(), chiffres.data() + chiffres.size(), v,
                           std::chars_format::hex);
  if (r.ec == std::errc::result_out_of_range) return std::nullopt;
  if (r.ec != std::errc()) return 0.0;
  return v;
}

// "&O17": octal whole number, same rule as hexadecimal. The octal digits are
// regrouped into hexadecimal ones (3 bits each into 4 bits each) so that the
// conversion of very long numbers is rounded correctly by from_chars.
std::optional<double> lit_octal(Curseur& c) {
  std::string bits;
  while (est_octal(c.courant())) {
    const int d = c.courant() - '0';
    bits.push_back(static_cast<char>('0' + ((d >> 2) & 1)));
    bits.push_back(static_cast<char>('0' + ((d >> 1) & 1)));
    bits.push_back(static_cast<char>('0' + (d & 1)));
    c.avance();
  }
  if (bits.empty()) return 0.0;
  bits.insert(0, (4 - bits.size() % 4) % 4, '0');
  std::string hexa;
  hexa.reserve(bits.size() / 4);
  static constexpr char chiffres_hexa[] = "0123456789abcdef";
  for (std::size_t i = 0; i < bits.size(); i += 4) {
    const int q = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 + (bits[i + 2] - '0') * 2 +
                  (bits[i + 3] - '0');
    hexa.push_back(chiffres_hexa[q]);
  }
  double v = 0.0;
  auto r = std::from_chars(hexa.data(), hexa.data() + hexa.size(), v, std::chars_format::hex);
  if (r.ec == std::errc::result_out_of_range) return std::nullopt;
  if (r.ec != std::errc()) return 0.0;
  return v;
}

// The digits of a decimal number, with at most one ".", as read: the clean
// text for from_chars, and where the first significant digit stands, for
// telling overflow from underflow (see hors_limites).
struct Mantisse {
  std::string texte;
  bool chiffre_lu = false;
  bool significatif = false;
  long long chiffres_entiers = 0;  // significant digits before the point
  long long zeros_fraction = 0;    // zeros after the point before the first significant digit
};

Mantisse lit_mantisse(Curseur& c) {
  Mantisse m;
  bool point = false;
  for (;;) {
    const char ch = c.courant();
    if (est_chiffre(ch)) {
      m.texte.push_back(ch);
      m.chiffre_lu = true;
      if (ch != '0') m.significatif = true;
      if (!point && m.significatif) ++m.chiffres_entiers;
      if (point && !m.significatif) ++m.zeros_fraction;
    } else if (ch == '.' && !point) {
      m.texte.push_back('.');
      point = true;
    } else {
      break;
    }
    c.avance();
  }
  return m;
}

// An exponent "E" or "D", its sign and digits, appended to `texte` as
// from_chars takes it ("e-12"). Its value (capped far beyond any double),
// 0 when there is none: "1E", "1E+" and "1D-" read as 1, an exponent needs
// a digit.
long long lit_exposant(Curseur& c, std::string& texte) {
  const char e = c.courant();
  if (e != 'e' && e != 'E' && e != 'd' && e != 'D') return 0;
  c.avance();
  std::string exp_texte = "e";
  if (c.courant() == '+' || c.courant() == '-') {
    exp_texte.push_back(c.courant());
    c.avance();
  }
  const bool exp_negatif = exp_texte.size() > 1 && exp_texte[1] == '-';
  long long exposant = 0;
  bool exp_chiffre = false;
  while (est_chiffre(c.courant())) {
    exp_texte.push_back(c.courant());
    exp_chiffre = true;
    if (exposant < 1'000'000'000'000LL) exposant = exposant * 10 + (c.courant() - '0');
    c.avance();
  }
  if (!exp_chiffre) return 0;
  texte += exp_texte;
  return exp_negatif ? -exposant : exposant;
}

// Sign, digits with one ".", exponent E or D. The accepted characters are
// copied into a clean text for from_chars (which takes no "+" and no "D").
std::optional<double> lit_decimal(Curseur& c) {
  bool negatif = false;
  if (c.courant() == '+' || c.courant() == '-') {
    negatif = c.courant() == '-';
    c.avance();
  }
  Mantisse m = lit_mantisse(c);
  if (!m.chiffre_lu) return 0.0;
  const long long exposant = lit_exposant(c, m.texte);

  if (!m.significatif) return 0.0;  // "0", "-0.000E999": zero, never a negative zero
  double v = 0.0;
  auto r = std::from_chars(m.texte.data(), m.texte.data() + m.texte.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    const long long amplitude =
        (m.chiffres_entiers > 0 ? m.chiffres_entiers : -m.zeros_fraction) + exposant;
    return hors_limites(amplitude);
  }
  if (r.ec != std::errc()) return 0.0;
  if (v == 0.0) return 0.0;
  return negatif ? -v : v;
}

// Decimal digits of a finite, non-negative number as a person reads it:
// value = 0.chiffres x 10^exposant, chiffres without leading zeros ("" for 0).
struct Decimal {
  std::string chiffres;
  int exposant = 0;
};

// Splits the output of to_chars in scientific form ("2.675e+00").
Decimal decompose(const char* debut, const char* fin) {
  Decimal d;
  const char* p = debut;
  for (; p < fin && *p != 'e'; ++p) {
    if (est_chiffre(*p)) d.chiffres.push_back(*p);
  }
  int e = 0;
  if (p < fin) {
    ++p;  // 'e'
    std::from_chars(*p == '+' ? p + 1 : p, fin, e);
  }
  while (!d.chiffres.empty() && d.chiffres.back() == '0') d.chiffres.pop_back();
  d.exposant = d.chiffres.empty() ? 0 : e + 1;
  return d;
}

// The shortest text that reads back as the same number. A value that is
// exactly a single-precision number is taken with the shortest text of that
// single: the stock quantity of an article is stored as a single, and 2.675
// kg held as a single is 2.67499995... as a double; the shop owner typed
// 2.675 and must see it rounded to 2.68, not 2.67.
Decimal decimal_lu(double valeur) {
  char tampon[64];
  std::to_chars_result r;
  const bool tient_en_simple = std::fabs(valeur) <= std::numeric_limits<float>::max();
  const float simple = tient_en_simple ? static_cast<float>(valeur) : 0.0f;
  if (tient_en_simple && static_cast<double>(simple) == valeur) {
    r = std::to_chars(tampon, tampon + sizeof tampon, simple, std::chars_format::scientific);
  } else {
    r = std::to_chars(tampon, tampon + sizeof tampon, valeur, std::chars_format::scientific);
  }
  return decompose(tampon, r.ptr);
}

// Fixed-point text of |d| with `decimales` decimals, rounded half away from
// zero on the decimal digits. Returns the digits without separator; the last
// `decimales` of them are the decimals, and there is always at least one
// digit before them.
std::string arrondi_fixe(const Decimal& d, int decimales) {
  auto chiffre = [&d](int puissance) -> char {
    const long long i = static_cast<long long>(d.exposant) - 1 - puissance;
    if (i < 0 || i >= static_cast<long long>(d.chiffres.size())) return '0';
    return d.chiffres[static_cast<std::size_t>(i)];
  };
  std::string sortie;
  for (int p = std::max(d.exposant - 1, 0); p >= -decimales; --p) sortie.push_back(chiffre(p));
  if (chiffre(-decimales - 1) >= '5') {
    bool retenue = true;
    for (std::size_t i = sortie.size(); retenue && i > 0;) {
      --i;
      if (sortie[i] == '9') {
        sortie[i] = '0';
      } else {
        ++sortie[i];
        retenue = false;
      }
    }
    if (retenue) sortie.insert(sortie.begin(), '1');
  }
  return sortie;
}

bool que_des_zeros(const std::string& s) { return s.find_first_not_of('0') == std::string::npos; }

}  // namespace

std::optional<double> lit_nombre_sur(std::string_view texte) {
  std::size_t arret = 0;
  return lit_nombre_sur(texte, arret);
}

std::optional<double> lit_nombre_sur(std::string_view texte, std::size_t& arret) {
  Curseur c(texte);
  const auto lu = [&](std::optional<double> v) {
    arret = c.position();
    return v;
  };
  // "&H" and "&O" only open a text: after a sign they are no digits, so
  // "-&H10" reads 0.
  if (c.courant() == '&') {
    c.avance();
    const char p = c.courant();
    if (p == 'h' || p == 'H') {
      c.avance();
      return lu(lit_hexa(c));
    }
    if (p == 'o' || p == 'O') {
      c.avance();
      return lu(lit_octal(c));
    }
    return lu(0.0);
  }
  return lu(lit_decimal(c));
}

double lit_nombre(std::string_view texte) { return lit_nombre_sur(texte).value_or(0.0); }

std::optional<std::int64_t> arrondi_pair(double valeur, std::int64_t min, std::int64_t max) {
  if (!std::isfinite(valeur)) return std::nullopt;
  // valeur - floor(valeur) is exact for every double, so the half is seen
  // exactly (2.5 -> 2, 3.5 -> 4, -2.5 -> -2), whatever the rounding mode.
  double entier = std::floor(valeur);
  const double reste = valeur - entier;
  if (reste > 0.5 || (reste == 0.5 && std::fmod(entier, 2.0) != 0.0)) entier += 1.0;
  // 2^63 is the first double past the 64-bit range.
  constexpr double limite = 9223372036854775808.0;
  if (entier >= limite || entier < -limite) return std::nullopt;
  const auto n = static_cast<std::int64_t>(entier);
  if (n < min || n > max) return std::nullopt;
  return n;
}

// A value that is not a number or infinite can only come from a damaged
// record; it is written as 0 so that the line stays readable by the server
// and the cash register rather than carrying a word where a number belongs.
std::string format_deux_decimales(double valeur, char separateur) {
  if (!std::isfinite(valeur)) valeur = 0.0;
  // Whole quantities, nearly every movement's: below 2^24 each is a Single
  // whose shortest text is its own digits, so the digits and ".00" are
  // what the rounding below gives, without it.
  if (const double a = std::fabs(valeur); a < 16777216.0 && a == std::trunc(a)) {
    char tampon[16];
    char* p = tampon;
    if (valeur < 0) *p++ = '-';  // -0.0 is not below 0: written 0.00
    p = std::to_chars(p, tampon + sizeof tampon - 3, static_cast<long>(a)).ptr;
    *p++ = separateur;
    *p++ = '0';
    *p++ = '0';
    return std::string(tampon, p);
  }
  const std::string chiffres = arrondi_fixe(decimal_lu(std::fabs(valeur)), 2);
  std::string sortie;
  // A quantity that rounds to zero is written 0.00, never -0.00.
  if (valeur < 0 && !que_des_zeros(chiffres)) sortie.push_back('-');
  sortie.append(chiffres, 0, chiffres.size() - 2);
  sortie.push_back(separateur);
  sortie.append(chiffres, chiffres.size() - 2, 2);
  return sortie;
}

std::string format_general(double valeur, char separateur) {
  if (!std::isfinite(valeur) || valeur == 0.0) return "0";
  char tampon[64];
  // 15 significant digits, then the trailing zeros go.
  const auto r = std::to_chars(tampon, tampon + sizeof tampon, std::fabs(valeur),
                               std::chars_format::scientific, 14);
  const Decimal d = decompose(tampon, r.ptr);
  const int e10 = d.exposant - 1;  // decimal exponent of the first digit
  std::string sortie;
  if (valeur < 0) sortie.push_back('-');
  if (e10 >= 15 || e10 <= -5) {
    sortie.push_back(d.chiffres[0]);
    if (d.chiffres.size() > 1) {
      sortie.push_back(separateur);
      sortie.append(d.chiffres, 1);
    }
    sortie.push_back('E');
    sortie.push_back(e10 < 0 ? '-' : '+');
    const int a = e10 < 0 ? -e10 : e10;
    if (a < 10) sortie.push_back('0');
    char exp[8];
    const auto re = std::to_chars(exp, exp + sizeof exp, a);
    sortie.append(exp, re.ptr);
  } else if (e10 >= 0) {
    const auto entiers = static_cast<std::size_t>(e10 + 1);
    if (d.chiffres.size() <= entiers) {
      sortie += d.chiffres;
      sortie.append(entiers - d.chiffres.size(), '0');
    } else {
      sortie.append(d.chiffres, 0, entiers);
      sortie.push_back(separateur);
      sortie.append(d.chiffres, entiers);
    }
  } else {
    // Between -1 and 1: no 0 before the separator (".5", "-.25").
    sortie.push_back(separateur);
    sortie.append(static_cast<std::size_t>(-e10 - 1), '0');
    sortie += d.chiffres;
  }
  return sortie;
}

std::string format_nombre_imprime(double valeur, char separateur) {
  std::string general = format_general(valeur, separateur);
  if (general[0] == '-') return general + ' ';
  return ' ' + general + ' ';
}

std::string format_00(double valeur) {
  if (!std::isfinite(valeur)) valeur = 0.0;
  std::string chiffres = arrondi_fixe(decimal_lu(std::fabs(valeur)), 0);
  if (chiffres.size() < 2) chiffres.insert(0, 2 - chiffres.size(), '0');
  if (valeur < 0 && !que_des_zeros(chiffres)) return '-' + chiffres;
  return chiffres;
}

}  // namespace pontex

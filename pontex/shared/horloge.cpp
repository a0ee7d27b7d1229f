#include "pontex/shared/horloge.h"

#include <charconv>
#include <ctime>

namespace pontex {

std::optional<DateHeure> date_locale(std::int64_t secondes) {
  const auto t = static_cast<std::time_t>(secondes);
  std::tm local{};
#ifdef _WIN32
  const bool lu = localtime_s(&local, &t) == 0;
#else
  const bool lu = localtime_r(&t, &local) != nullptr;
#endif
  if (!lu) return std::nullopt;
  DateHeure d;
  d.annee = local.tm_year + 1900;
  d.mois = local.tm_mon + 1;
  d.jour = local.tm_mday;
  d.heure = local.tm_hour;
  d.minute = local.tm_min;
  // A leap second (60) would give a time the files never show.
  d.seconde = local.tm_sec > 59 ? 59 : local.tm_sec;
  return d;
}

DateHeure HorlogeSysteme::maintenant() const {
  // No local time (a clock beyond what the system converts): the default
  // date keeps every file name and record well-formed.
  const auto seconde = static_cast<std::int64_t>(std::time(nullptr));
  if (seconde != seconde_convertie_) {
    date_convertie_ = date_locale(seconde).value_or(DateHeure{});
    seconde_convertie_ = seconde;
  }
  return date_convertie_;
}

namespace {

// `n` on at least `largeur` digits, zeros in front. Integer text only, no
// locale involved.
void ajoute_chiffres(std::string& s, int valeur, int largeur) {
  // Dates and times go into every movement record and every journal stamp:
  // their usual fields without the general conversion.
  if (largeur == 2 && valeur >= 0 && valeur < 100) {
    const char c[2] = {static_cast<char>('0' + valeur / 10), static_cast<char>('0' + valeur % 10)};
    s.append(c, 2);
    return;
  }
  if (largeur == 4 && valeur >= 0 && valeur < 10000) {  // the year
    const char c[4] = {
        static_cast<char>('0' + valeur / 1000), static_cast<char>('0' + valeur / 100 % 10),
        static_cast<char>('0' + valeur / 10 % 10), static_cast<char>('0' + valeur % 10)};
    s.append(c, 4);
    return;
  }
  long long n = valeur;
  if (n < 0) {
    s.push_back('-');
    n = -n;
  }
  char tampon[16];
  const auto r = std::to_chars(tampon, tampon + sizeof tampon, n);
  for (auto l = r.ptr - tampon; l < largeur; ++l) s.push_back('0');
  s.append(tampon, r.ptr);
}

// "21:07:09".
void ajoute_hh_mm_ss(std::string& s, const DateHeure& d) {
  ajoute_chiffres(s, d.heure, 2);
  s.push_back(':');
  ajoute_chiffres(s, d.minute, 2);
  s.push_back(':');
  ajoute_chiffres(s, d.seconde, 2);
}

}  // namespace

std::string format_jj_mm_aaaa(const DateHeure& d) {
  std::string s;
  ajoute_chiffres(s, d.jour, 2);
  s.push_back('-');
  ajoute_chiffres(s, d.mois, 2);
  s.push_back('-');
  ajoute_chiffres(s, d.annee, 4);
  return s;
}

std::string format_aaaammjjhhnnss(const DateHeure& d) {
  std::string s;
  ajoute_chiffres(s, d.annee, 4);
  ajoute_chiffres(s, d.mois, 2);
  ajoute_chiffres(s, d.jour, 2);
  ajoute_chiffres(s, d.heure, 2);
  ajoute_chiffres(s, d.minute, 2);
  ajoute_chiffres(s, d.seconde, 2);
  return s;
}

std::string format_hh_mm(const DateHeure& d) {
  std::string s;
  ajoute_chiffres(s, d.heure, 2);
  s.push_back(':');
  ajoute_chiffres(s, d.minute, 2);
  return s;
}

// Day, month, then the full time: the journal line shows when each step
// ran, to the second.
std::string format_horodatage_journal(const DateHeure& d) {
  std::string s;
  ajoute_chiffres(s, d.jour, 2);
  s.push_back('-');
  ajoute_chiffres(s, d.mois, 2);
  s.push_back(' ');
  ajoute_hh_mm_ss(s, d);
  return s;
}

// Year first, so that the journal's day files sort by date.
std::string format_aaaa_mm_jj(const DateHeure& d) {
  std::string s;
  ajoute_chiffres(s, d.annee, 4);
  s.push_back('-');
  ajoute_chiffres(s, d.mois, 2);
  s.push_back('-');
  ajoute_chiffres(s, d.jour, 2);
  return s;
}

std::string format_horodatage_fichier(const DateHeure& d) {
  std::string s = format_aaaa_mm_jj(d);
  s.push_back(' ');
  ajoute_hh_mm_ss(s, d);
  return s;
}

}  // namespace pontex

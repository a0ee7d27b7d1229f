#include "pontex/shared/moment.h"

#include <chrono>

#include "pontex/shared/horloge.h"

namespace pontex {

namespace {

using namespace std::chrono;

// Seconds since 1970 of a calendar date and time read as UTC.
std::int64_t secondes_civiles(int annee, int mois, int jour, int heure, int minute, int seconde) {
  const sys_days jours{year{annee} / month{static_cast<unsigned>(mois)} /
                       day{static_cast<unsigned>(jour)}};
  return static_cast<std::int64_t>(jours.time_since_epoch().count()) * 86400 + heure * 3600 +
         minute * 60 + seconde;
}

void ajoute(std::string& s, long long n, int largeur) {
  std::string chiffres = std::to_string(n < 0 ? -n : n);
  if (n < 0) s.push_back('-');
  for (auto l = static_cast<int>(chiffres.size()); l < largeur; ++l) s.push_back('0');
  s += chiffres;
}

// `largeur` digits at `pos`, or -1.
int chiffres(std::string_view t, std::size_t pos, std::size_t largeur) {
  if (pos + largeur > t.size()) return -1;
  int n = 0;
  for (std::size_t i = pos; i < pos + largeur; ++i) {
    if (t[i] < '0' || t[i] > '9') return -1;
    n = n * 10 + (t[i] - '0');
  }
  return n;
}

}  // namespace

std::int64_t secondes_maintenant() {
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

Moment moment_local(std::int64_t secondes) {
  Moment m{secondes, 0};
  const std::optional<DateHeure> d = date_locale(secondes);
  if (!d) return m;
  // The offset is what the local calendar time is ahead of UTC: asked this
  // way it needs no zone name and holds summer time as the system applies it.
  const std::int64_t ecart =
      secondes_civiles(d->annee, d->mois, d->jour, d->heure, d->minute, d->seconde) - secondes;
  // Real offsets lie within a day; anything else is a clock we cannot read.
  if (ecart > -86400 && ecart < 86400) m.decalage = static_cast<int>(ecart);
  return m;
}

std::string format_iso8601(const Moment& m) {
  const std::int64_t local = m.secondes + m.decalage;
  const std::int64_t jours = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  const std::int64_t reste = local - jours * 86400;
  const year_month_day date{sys_days{days{jours}}};
  std::string s;
  ajoute(s, static_cast<int>(date.year()), 4);
  s.push_back('-');
  ajoute(s, static_cast<unsigned>(date.month()), 2);
  s.push_back('-');
  ajoute(s, static_cast<unsigned>(date.day()), 2);
  s.push_back('T');
  ajoute(s, reste / 3600, 2);
  s.push_back(':');
  ajoute(s, reste / 60 % 60, 2);
  s.push_back(':');
  ajoute(s, reste % 60, 2);
  const int d = m.decalage < 0 ? -m.decalage : m.decalage;
  s.push_back(m.decalage < 0 ? '-' : '+');
  ajoute(s, d / 3600, 2);
  s.push_back(':');
  ajoute(s, d / 60 % 60, 2);
  return s;
}

std::optional<Moment> lit_iso8601(std::string_view t) {
  // yyyy-mm-ddThh:mm:ss then Z or +hh:mm / -hh:mm.
  if (t.size() < 20 || t[4] != '-' || t[7] != '-' || (t[10] != 'T' && t[10] != ' ') ||
      t[13] != ':' || t[16] != ':')
    return std::nullopt;
  const int annee = chiffres(t, 0, 4), mois = chiffres(t, 5, 2), jour = chiffres(t, 8, 2);
  const int heure = chiffres(t, 11, 2), minute = chiffres(t, 14, 2), seconde = chiffres(t, 17, 2);
  if (annee < 0 || mois < 1 || jour < 1 || heure < 0 || heure > 23 || minute < 0 || minute > 59 ||
      seconde < 0 || seconde > 59)
    return std::nullopt;
  const year_month_day date{year{annee}, month{static_cast<unsigned>(mois)},
                            day{static_cast<unsigned>(jour)}};
  if (!date.ok()) return std::nullopt;
  int decalage = 0;
  const std::string_view zone = t.substr(19);
  if (zone == "Z") {
    decalage = 0;
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    const int h = chiffres(zone, 1, 2), mn = chiffres(zone, 4, 2);
    if (h < 0 || h > 23 || mn < 0 || mn > 59) return std::nullopt;
    decalage = (h * 3600 + mn * 60) * (zone[0] == '-' ? -1 : 1);
  } else {
    return std::nullopt;
  }
  return Moment{secondes_civiles(annee, mois, jour, heure, minute, seconde) - decalage, decalage};
}

}  // namespace pontex

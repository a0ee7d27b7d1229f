#pragma once
// Local date and time, passed to the procedures as a clock so that tests can
// pin it, and the date and time texts of the files and the journal.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pontex {

struct DateHeure {
  int annee = 2000;  // four digits
  int mois = 1;      // 1..12
  int jour = 1;      // 1..31
  int heure = 0;     // 0..23
  int minute = 0;
  int seconde = 0;
};

class Horloge {
 public:
  virtual ~Horloge() = default;
  virtual DateHeure maintenant() const = 0;
  // A steady instant, for bounding how long a step may run (the system's
  // steady clock: a change of the workstation's time does not move it).
  virtual std::chrono::steady_clock::time_point instant() const {
    return std::chrono::steady_clock::now();
  }
};

// The workstation's local date and time at `secondes` since 1970 (UTC);
// nothing when the system cannot convert it.
std::optional<DateHeure> date_locale(std::int64_t secondes);

// The workstation's local time. Asked twice for every movement applied (its
// record and its journal line): the conversion to local time is made once a
// second and kept, since within one second it cannot give anything else. The
// programs ask it from one thread only.
class HorlogeSysteme : public Horloge {
 public:
  DateHeure maintenant() const override;

 private:
  mutable std::int64_t seconde_convertie_ = -1;
  mutable DateHeure date_convertie_{};
};

// A clock that shows what the test sets.
class HorlogeFixe : public Horloge {
 public:
  explicit HorlogeFixe(DateHeure d) : date_(d) {}
  DateHeure maintenant() const override { return date_; }
  void regle(DateHeure d) { date_ = d; }
  // Pinned too: a step bounded in time never runs out of it on a slow test
  // machine, so what a test sees does not depend on the machine's speed.
  std::chrono::steady_clock::time_point instant() const override { return {}; }

 private:
  DateHeure date_;
};

std::string format_jj_mm_aaaa(const DateHeure& d);          // "05-12-2026"
std::string format_aaaammjjhhnnss(const DateHeure& d);      // "20261205210709"
std::string format_hh_mm(const DateHeure& d);               // "21:07"
std::string format_horodatage_journal(const DateHeure& d);  // "05-12 21:07:09"
std::string format_aaaa_mm_jj(const DateHeure& d);          // "2026-12-05"
// "2026-12-07 21:07:09": the full date and time of a journal file line.
std::string format_horodatage_fichier(const DateHeure& d);

}  // namespace pontex

// Dates in file names, movement records and the journal.

#include <gtest/gtest.h>

#include <ctime>

#include "pontex/shared/horloge.h"

namespace pontex {
namespace {

TEST(Horloge, FormatsPadEveryField) {
  const DateHeure soir{2026, 12, 5, 21, 7, 9};
  EXPECT_EQ(format_jj_mm_aaaa(soir), "05-12-2026");
  EXPECT_EQ(format_aaaammjjhhnnss(soir), "20261205210709");
  EXPECT_EQ(format_hh_mm(soir), "21:07");
  // Hours, minutes and seconds: 21:07:09 must not show as 21:09.
  EXPECT_EQ(format_horodatage_journal(soir), "05-12 21:07:09");

  const DateHeure minuit{999, 1, 1, 0, 0, 0};
  EXPECT_EQ(format_jj_mm_aaaa(minuit), "01-01-0999");
  EXPECT_EQ(format_aaaammjjhhnnss(minuit), "09990101000000");
  EXPECT_EQ(format_hh_mm(minuit), "00:00");
  EXPECT_EQ(format_horodatage_journal(minuit), "01-01 00:00:00");

  const DateHeure fin{2027, 12, 31, 23, 59, 59};
  EXPECT_EQ(format_aaaammjjhhnnss(fin), "20271231235959");
  EXPECT_EQ(format_horodatage_journal(fin), "31-12 23:59:59");
}

TEST(Horloge, SystemClockGivesTheLocalTime) {
  // The local time is read before and after: the clock must show one of the
  // two (the call may straddle a second).
  auto local = [](std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
  };
  const std::tm avant = local(std::time(nullptr));
  const DateHeure d = HorlogeSysteme().maintenant();
  const std::tm apres = local(std::time(nullptr));
  auto egal = [&d](const std::tm& tm) {
    return d.annee == tm.tm_year + 1900 && d.mois == tm.tm_mon + 1 && d.jour == tm.tm_mday &&
           d.heure == tm.tm_hour && d.minute == tm.tm_min && d.seconde == tm.tm_sec;
  };
  EXPECT_TRUE(egal(avant) || egal(apres)) << format_aaaammjjhhnnss(d);
}

}  // namespace
}  // namespace pontex

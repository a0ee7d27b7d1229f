// Numbers read from text; quantities and dates as the files and the journal get them.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <thread>

#include "pontex/shared/horloge.h"
#include "pontex/shared/nombres.h"

namespace pontex {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(LitNombre, LitLesQuantitesCommeEllesSontEcrites) {
  struct Cas {
    std::string texte;
    double attendu;
  };
  const Cas cas[] = {
      {"", 0},         {"12", 12},        {"-1.5", -1.5},  {"+3", 3},        {"1 2", 12},
      {"\t2\t7", 27},  {"1\n5", 15},      {" - 5", -5},    {"1,5", 1},       {"1.5.3", 1.5},
      {"12abc", 12},   {"abc", 0},        {"1\r5", 1},     {"\r5", 0},       {".5", 0.5},
      {"5.", 5},       {"-.25", -0.25},   {".", 0},        {"-", 0},         {"+", 0},
      {"00012", 12},   {"1e3", 1000},     {"1D3", 1000},   {"1d-2", 0.01},   {"1 e 2", 100},
      {"1.5E+2", 150}, {"1E", 1},         {"1E+", 1},      {"1d-", 1},       {"1e5e3", 1e5},
      {"1e-400", 0},   {"0e999999", 0},   {"0.1", 0.1},    {"2.675", 2.675}, {"&H10", 16},
      {"&hff", 255},   {"&HFFFF", 65535}, {"& H 1 F", 31}, {"&O17", 15},     {"&o777", 511},
      {"&O8", 0},      {"&H", 0},         {"&HG", 0},      {"&X1", 0},       {"-&H10", 0},
      {"&H1.5", 1}};
  for (const auto& c : cas) {
    EXPECT_EQ(lit_nombre(c.texte), c.attendu) << '"' << c.texte << '"';
  }
  EXPECT_EQ(lit_nombre("&HFFFFFFFF"), 4294967295.0);
}

TEST(LitNombre, ZeroNegatifLuCommeZero) {
  EXPECT_FALSE(std::signbit(lit_nombre("-0")));
  EXPECT_FALSE(std::signbit(lit_nombre("-0.000e5")));
  EXPECT_FALSE(std::signbit(lit_nombre("-1e-400")));
}

TEST(LitNombre, TropGrandPourUnDoubleEstIllisible) {
  EXPECT_FALSE(lit_nombre_sur("1e400").has_value());
  EXPECT_FALSE(lit_nombre_sur("-1e400").has_value());
  EXPECT_FALSE(lit_nombre_sur("1e99999999999999999999").has_value());
  EXPECT_EQ(lit_nombre("1e400"), 0);
  // Too small is not unreadable: it is zero.
  ASSERT_TRUE(lit_nombre_sur("1e-99999999999999999999").has_value());
  EXPECT_EQ(*lit_nombre_sur("1e-400"), 0);
  EXPECT_EQ(lit_nombre_sur("1.7976931348623157e308"), 1.7976931348623157e308);
}

TEST(LitNombre, DesTextesEnormesFinissentSansPlantage) {
  const std::string chiffres(2'000'000, '7');
  EXPECT_FALSE(lit_nombre_sur(chiffres).has_value());
  EXPECT_NEAR(lit_nombre("7." + chiffres), 7.7777777, 1e-6);
  EXPECT_EQ(lit_nombre("0." + std::string(2'000'000, '0') + "1"), 0);
  EXPECT_EQ(lit_nombre(std::string(2'000'000, ' ') + "5"), 5);
  EXPECT_EQ(lit_nombre(std::string(2'000'000, '0') + "5"), 5);
  EXPECT_EQ(lit_nombre("1e" + std::string(2'000'000, '0') + "2"), 100);
  EXPECT_FALSE(lit_nombre_sur("&H" + std::string(2'000'000, 'F')).has_value());
  EXPECT_FALSE(lit_nombre_sur("&O" + chiffres).has_value());
  // Within a double's range, long hexadecimal and octal numbers keep their value.
  EXPECT_EQ(lit_nombre("&H1" + std::string(20, '0')), std::ldexp(1.0, 80));
  EXPECT_EQ(lit_nombre("&O1" + std::string(30, '0')), std::ldexp(1.0, 90));
}

TEST(ArrondiPair, LesMoitiesVontAuPairHorsBornesRien) {
  struct Cas {
    double valeur;
    std::optional<std::int64_t> attendu;
  };
  const Cas cas[] = {{2.5, 2},   {3.5, 4},         {-2.5, -2},
                     {-3.5, -4}, {0.5, 0},         {-0.5, 0},
                     {1.5, 2},   {2.4999, 2},      {2.5000001, 3},
                     {-1.2, -1}, {32767.4, 32767}, {-32768.5, -32768},
                     {inf, {}},  {-inf, {}},       {9223372036854775807.0, {}}};
  for (const auto& c : cas)
    EXPECT_EQ(arrondi_pair(c.valeur, INT64_MIN, INT64_MAX), c.attendu) << c.valeur;
  EXPECT_EQ(arrondi_pair(4503599627370497.0, INT64_MIN, INT64_MAX), 4503599627370497);
  EXPECT_EQ(arrondi_pair(-9223372036854775808.0, INT64_MIN, INT64_MAX), INT64_MIN);
  // The configuration's Integer fields.
  for (double hors : {32767.5, -32769.0, nan})
    EXPECT_FALSE(arrondi_pair(hors, INT16_MIN, INT16_MAX).has_value()) << hors;
}

// Stocks come from Single fields; a damaged value is still written as a readable number.
TEST(FormatDeuxDecimales, EcritLesQuantitesCommeLaPersonneLesLit) {
  const std::pair<double, std::string> cas[] = {
      {-2, "-2.00"},     {1234.5, "1234.50"}, {0.125, "0.13"},      {-0.0, "0.00"},
      {-0.001, "0.00"},  {-0.005, "-0.01"},   {0.005, "0.01"},      {2.675, "2.68"},
      {1.005, "1.01"},   {0.995, "1.00"},     {-99.995, "-100.00"}, {0.1 + 0.2, "0.30"},
      {-5e-324, "0.00"}, {nan, "0.00"}};
  for (const auto& [valeur, attendu] : cas)
    EXPECT_EQ(format_deux_decimales(valeur, '.'), attendu) << valeur;
  EXPECT_EQ(format_deux_decimales(12.5, ','), "12,50");
  EXPECT_EQ(format_deux_decimales(-0.004999, ','), "0,00");
  EXPECT_EQ(format_deux_decimales(123456789.125, '.'), "123456789.13");
  EXPECT_EQ(format_deux_decimales(16777216.5, '.'), "16777216.50");
  EXPECT_EQ(format_deux_decimales(1e20, '.'), "100000000000000000000.00");
  EXPECT_EQ(format_deux_decimales(static_cast<double>(2.675f), ','), "2,68");
  EXPECT_EQ(format_deux_decimales(static_cast<double>(-1.005f), '.'), "-1.01");
  EXPECT_EQ(format_deux_decimales(lit_nombre("2.675"), '.'), "2.68");
  EXPECT_EQ(format_deux_decimales(-inf, ','), "0,00");
  EXPECT_EQ(format_deux_decimales(1e300, '.'), "1" + std::string(300, '0') + ".00");
}

// Whole quantities, the usual movement: every digit kept, whatever the sign
// and separator; past 2^24 the Single a stock is kept in rounds them.
TEST(FormatDeuxDecimales, QuantitesEntieres) {
  const std::pair<double, std::string> cas[] = {{0, "0.00"},
                                                {7, "7.00"},
                                                {-3, "-3.00"},
                                                {10, "10.00"},
                                                {-100, "-100.00"},
                                                {999999, "999999.00"},
                                                {16777215, "16777215.00"},
                                                {-16777215, "-16777215.00"},
                                                {16777216, "16777216.00"},
                                                {16777217, "16777217.00"},
                                                {123456792, "123456790.00"},
                                                {-123456792, "-123456790.00"}};
  for (const auto& [valeur, attendu] : cas)
    EXPECT_EQ(format_deux_decimales(valeur, '.'), attendu) << valeur;
  EXPECT_EQ(format_deux_decimales(-42, ','), "-42,00");
  EXPECT_EQ(format_deux_decimales(16777215, ','), "16777215,00");
}

TEST(FormatNombreImprime, TexteLePlusCourtAvecEspaceDeSigne) {
  const std::pair<double, std::string> cas[] = {
      {2, " 2 "},           {0.5, " .5 "},      {-0.25, "-.25 "},    {0, " 0 "},
      {-0.0, " 0 "},        {1e15, " 1E+15 "},  {1e300, " 1E+300 "}, {0.0001, " .0001 "},
      {0.00001, " 1E-05 "}, {-1e-5, "-1E-05 "}, {0.1 + 0.2, " .3 "}, {nan, " 0 "}};
  for (const auto& [valeur, attendu] : cas)
    EXPECT_EQ(format_nombre_imprime(valeur, '.'), attendu) << valeur;
  EXPECT_EQ(format_nombre_imprime(-1.5, ','), "-1,5 ");
  EXPECT_EQ(format_nombre_imprime(1234.5, ','), " 1234,5 ");
  EXPECT_EQ(format_nombre_imprime(123456789012345, '.'), " 123456789012345 ");
  EXPECT_EQ(format_nombre_imprime(1234567890123456, '.'), " 1.23456789012346E+15 ");
  EXPECT_EQ(format_nombre_imprime(999999999999999.9, '.'), " 1E+15 ");
  EXPECT_EQ(format_nombre_imprime(1.5e-5, ','), " 1,5E-05 ");
  EXPECT_EQ(format_nombre_imprime(1.5e-300, '.'), " 1.5E-300 ");
  EXPECT_EQ(format_nombre_imprime(1.0 / 3, '.'), " .333333333333333 ");
  EXPECT_EQ(format_general(-0.25, ','), "-,25");
  EXPECT_EQ(format_general(12.5, ','), "12,5");
}

TEST(Format00, TextesDuCompteARebours) {
  struct Cas {
    double valeur;
    std::string attendu;
  };
  const Cas cas[] = {{4, "04"},     {0, "00"},    {-0.0, "00"},   {-1, "-01"},
                     {30, "30"},    {123, "123"}, {-123, "-123"}, {4.5, "05"},
                     {-4.5, "-05"}, {-0.4, "00"}, {9.5, "10"},    {nan, "00"}};
  for (const auto& c : cas) EXPECT_EQ(format_00(c.valeur), c.attendu) << c.valeur;
}

TEST(Horloge, LesFormatsCompletentChaqueChamp) {
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
  const DateHeure loin{12026, 9, 30, 9, 59, 5};
  EXPECT_EQ(format_jj_mm_aaaa(loin), "30-09-12026");
  EXPECT_EQ(format_aaaammjjhhnnss(loin), "120260930095905");
  EXPECT_EQ(format_hh_mm(loin), "09:59");
}

TEST(Horloge, LHorlogeDuSystemeDonneLHeureLocale) {
  // The local time read before and after: the clock shows one of the two.
  const auto locale = [](std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    char texte[16];
    std::strftime(texte, sizeof texte, "%Y%m%d%H%M%S", &tm);
    return std::string(texte);
  };
  // The same clock asked again in a later second moves on with it: its
  // conversion is kept for one second only.
  const HorlogeSysteme horloge;
  for (int fois = 0; fois < 2; ++fois) {
    const std::time_t debut = std::time(nullptr);
    const std::string avant = locale(debut);
    const std::string d = format_aaaammjjhhnnss(horloge.maintenant());
    EXPECT_TRUE(d == avant || d == locale(std::time(nullptr))) << d;
    while (std::time(nullptr) == debut) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace
}  // namespace pontex

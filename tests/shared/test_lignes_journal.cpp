// The journal's line store: every line back whole, in order and with its kind, across block
// boundaries.

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "pontex/shared/lignes_journal.h"

namespace pontex {
namespace {

TEST(LignesJournal, GardeLOrdreEtLesTextesAuFilDesBlocs) {
  LignesJournal l;
  EXPECT_TRUE(l.vide());
  // Lines of every length from empty to several blocks long, so that lines end exactly at a block's
  // end, just beyond it, and need a block of their own; bytes of every value, zero included.
  std::vector<std::string> attendues;
  for (int i = 0; i < 3000; ++i) {
    const std::size_t n = i == 1500 ? 200000 : static_cast<std::size_t>(i * 37 % 911);
    std::string m(n, '\0');
    for (std::size_t j = 0; j < n; ++j) m[j] = static_cast<char>((i + j) % 256);
    l.ajoute("03-02 14:05:37", m);
    attendues.push_back("03-02 14:05:37 - " + m);
  }
  l.ajoute("03-02 14:05:38", "");
  attendues.push_back("03-02 14:05:38 - ");
  ASSERT_EQ(l.taille(), attendues.size());
  for (std::size_t i = 0; i < attendues.size(); ++i) {
    ASSERT_EQ(l.ligne(i), attendues[i]) << "line " << i;
  }
}

// A movement line keeps its stamp once per second and block and its
// designation's padding as a count: lines whose stamp changes inside a block
// and at a block's first line, whose spaces end them or fill them, or pass
// what the count holds, come back byte for byte, accents and kinds with them.
TEST(LignesJournal, HorodatagesEtEspacesDeFinRevenusAuFilDesBlocs) {
  LignesJournal l;
  std::vector<std::string> attendues;
  std::vector<SorteLigne> sortes;
  const auto ajoute = [&](const std::string& h, const std::string& m, SorteLigne s) {
    l.ajoute(h, m, s);
    attendues.push_back(h + " - " + m);
    sortes.push_back(s);
  };
  const std::string designations[] = {"CAF\xC9 MOULU 250G                      ",
                                      "PAIN",
                                      " \tTH\xC9 VERT  \t ",
                                      "   ",
                                      "",
                                      "\xC9"
                                      "CLAIR AU CAF\xC9 "};
  for (int i = 0; i < 12000; ++i) {
    // A new second every 7 lines, then, past a few blocks, at every line.
    const int seconde = i < 6000 ? i / 7 : i;
    char h[32];
    std::snprintf(h, sizeof h, "05-12 %02d:%02d:%02d", seconde / 3600 % 24, seconde / 60 % 60,
                  seconde % 60);
    const std::string& d = designations[static_cast<std::size_t>(i) % std::size(designations)];
    ajoute(h, std::to_string(i % 19 - 9) + ".00 x " + d, static_cast<SorteLigne>(i % 6));
  }
  // More trailing spaces than a count holds, and a line of spaces alone.
  ajoute("05-12 23:59:59", "x" + std::string(70000, ' '), SorteLigne::erreur);
  ajoute("05-12 23:59:59", std::string(66000, ' '), SorteLigne::refus);
  // A stamp that is not the clock's: kept whole, whatever its length.
  ajoute(
      "lundi 5 d\xE9"
      "cembre 2026, 23:59:59",
      "Fin", SorteLigne::arret);
  ASSERT_EQ(l.taille(), attendues.size());
  for (std::size_t i = 0; i < attendues.size(); ++i) {
    ASSERT_EQ(l.ligne(i), attendues[i]) << "line " << i;
    ASSERT_EQ(l.sorte(i), sortes[i]) << "line " << i;
  }
}

}  // namespace
}  // namespace pontex

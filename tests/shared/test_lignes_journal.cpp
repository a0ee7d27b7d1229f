// The journal's line store: every line back whole and in order, across block boundaries.

#include <gtest/gtest.h>

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

TEST(LignesJournal, UneLigneLueResteValableQuandDAutresSAjoutent) {
  LignesJournal l;
  l.ajoute("05-12 21:07:09", "2.00 x PAIN");
  const std::string_view premiere = l.ligne(0);
  for (int i = 0; i < 100000; ++i) l.ajoute("05-12 21:07:09", "-1.50 x CAF\xC9 MOULU 250G");
  EXPECT_EQ(premiere, "05-12 21:07:09 - 2.00 x PAIN");
  EXPECT_EQ(l.ligne(100000), "05-12 21:07:09 - -1.50 x CAF\xC9 MOULU 250G");
}

}  // namespace
}  // namespace pontex

// Cutting the server's stock movement text into records and reading their
// quantities: what decides whether a movement is applied, lost or doubled.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pontex/exchange/texte_mouvements.h"

namespace pontex {
namespace {

std::vector<std::string> references(std::string_view texte) {
  std::vector<std::string> r;
  for (const auto& rec : decoupe_records(texte)) r.emplace_back(rec.reference);
  return r;
}

using V = std::vector<std::string>;

TEST(DecoupeRecords, EveryLineEndEndsARecord) {
  EXPECT_EQ(references("A\t1\nB\t2\n"), (V{"A", "B"}));
  // Lines written on Windows, as the program's own generator writes them.
  EXPECT_EQ(references("A\t1\t\r\nB\t2\t\r\n"), (V{"A", "B"}));
  EXPECT_EQ(references("A\t1\rB\t2\r"), (V{"A", "B"}));
  EXPECT_EQ(references("A\r\nB\nC\rD\r\n"), (V{"A", "B", "C", "D"}));
  // CR CR LF: a lone CR, then a CR LF around an empty record.
  EXPECT_EQ(references("A\r\r\nB\n"), (V{"A", "", "B"}));
}

TEST(DecoupeRecords, TextAfterTheLastLineEndWaitsForTheServer) {
  EXPECT_EQ(references("A\t1\nB\t2"), (V{"A"}));
  EXPECT_EQ(references("B\t2"), V{});
  EXPECT_EQ(references(""), V{});
  // A CR at the very end ends its record, whether or not an LF follows later.
  EXPECT_EQ(references("A\t1\r"), (V{"A"}));
}

TEST(DecoupeRecords, EmptyLinesAreEmptyRecords) {
  EXPECT_EQ(references("\nA\n\n"), (V{"", "A", ""}));
  EXPECT_EQ(references("\r\n\r\n"), (V{"", ""}));
}

TEST(DecoupeRecords, ReferenceIsBeforeTheFirstTabAsReceived) {
  const auto r = decoupe_records(" abc \t 2\t7\tx\n\tonly\nnotab\n");
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].reference, " abc ");
  EXPECT_EQ(r[0].texte_quantite, " 2\t7\tx");
  EXPECT_EQ(r[1].reference, "");
  EXPECT_EQ(r[1].texte_quantite, "only");
  EXPECT_EQ(r[2].reference, "notab");
  EXPECT_EQ(r[2].texte_quantite, "");
}

TEST(DecoupeRecords, BinaryAndVeryLongRecordsAreReadWhole) {
  std::string nul("A\0B\tZ\0\n", 7);
  const auto r = decoupe_records(nul);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].reference, std::string_view("A\0B", 3));

  const std::string longue(2 * 1024 * 1024, 'x');
  const std::string texte = longue + "\t3\nB\t1\n";
  const auto l = decoupe_records(texte);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0].reference.size(), longue.size());
  EXPECT_EQ(l[1].reference, "B");
}

double quantite(std::string_view texte_quantite) {
  auto q = quantite_record(RecordMouvement{"A", texte_quantite});
  EXPECT_TRUE(q.has_value()) << texte_quantite;
  return q.value_or(-999);
}

TEST(QuantiteRecord, ReadByTheNumericReader) {
  EXPECT_EQ(quantite("2"), 2.0);
  EXPECT_EQ(quantite("-2.5"), -2.5);
  EXPECT_EQ(quantite("2\t7"), 27.0);  // the reader skips TABs
  EXPECT_EQ(quantite("1,5"), 1.0);    // the comma is never a decimal mark
  EXPECT_EQ(quantite(""), 0.0);       // no TAB: nothing to read
  EXPECT_EQ(quantite("-"), 0.0);
  EXPECT_EQ(quantite("&HFFFF"), 65535.0);
  EXPECT_EQ(quantite("3.4E+38"), 3.4e38);
}

TEST(QuantiteRecord, NothingTheStockFieldsCannotHold) {
  EXPECT_FALSE(quantite_record({"A", "1e400"}).has_value());
  EXPECT_FALSE(quantite_record({"A", "-1e400"}).has_value());
  EXPECT_FALSE(quantite_record({"A", "1e300"}).has_value());
  EXPECT_FALSE(quantite_record({"A", "3.5e38"}).has_value());
}

TEST(SansEspaces, OnlySpacesAtBothEnds) {
  EXPECT_EQ(sans_espaces("  EPI-002  "), "EPI-002");
  EXPECT_EQ(sans_espaces("   "), "");
  EXPECT_EQ(sans_espaces("\tA B\t"), "\tA B\t");
}

}  // namespace
}  // namespace pontex

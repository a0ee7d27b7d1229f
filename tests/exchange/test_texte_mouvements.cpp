// Cutting the server's text into records: a record lost or split here is a
// stock movement lost or applied wrong.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pontex/exchange/texte_mouvements.h"

namespace pontex {
namespace {

std::vector<std::string> records(std::string_view texte) {
  std::vector<std::string> r;
  for (const auto& rec : decoupe_records(texte))
    r.push_back(std::string(rec.reference) + "|" + std::string(rec.texte_quantite));
  return r;
}

using V = std::vector<std::string>;

TEST(DecoupeRecords, AnyLineEndEndsARecordAndAnUnfinishedOneWaits) {
  EXPECT_EQ(records("A\t1\nB\t2\t\r\nC\t3\rD\t4\r\n"), (V{"A|1", "B|2\t", "C|3", "D|4"}));
  // CR CR LF: a lone CR, then a CR LF around an empty record.
  EXPECT_EQ(records("A\t1\r\r\n\nB"), (V{"A|1", "|", "|"}));
  EXPECT_EQ(records("B\t2"), V{});
  EXPECT_EQ(records("A\t1\t7 x\tB\nnotab\n"), (V{"A|1\t7 x\tB", "notab|"}));
}

}  // namespace
}  // namespace pontex

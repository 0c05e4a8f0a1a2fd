// Index maintenance on a damaged index: a page that was refused while moving through a tag must
// not be taken up again by the append that follows. The append is refused with 254, the index
// file keeps every byte it had, and the records already stored stay readable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/updates.h"
#include "engine/index/xqndx.h"
#include "tests/index/index_fixture.h"
#include "tests/index_maint/maint_rows.h"
#include "tests/support/test_support.h"

namespace indextest {
namespace {

using morvane::Errors;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

class DamagedMaintainTest : public IndexTest {};

// The code of the engine error Step reports (raised or only recorded), 0 when none.
template <typename F>
uint16_t ReportedCode(F&& Step) {
  Errors.DbfError = 0;
  try {
    Step();
  } catch (const morvane::EMorvaneError&) {
    return Errors.LastErrorCode;
  }
  return Errors.DbfError;
}

TEST_F(DamagedMaintainTest, AppendAfterARefusedPageIsRefusedAndWritesNothing) {
  std::vector<KeyRow> rows;
  for (int i = 1; i <= 5; ++i) rows.push_back({"050", Geo(i), "A", std::to_string(i * 10)});
  OpenKeyTable("t", rows);
  // GEO (tag 1) stays sound; POP (tag 2) gets a root leaf whose count is beyond its capacity.
  ASSERT_EQ(morvane::MakeIndexAndSet({Tag("GEO", "geocode"), Tag("POP", "pop")}, ""), 1)
      << Errors.ErrorDetail;
  morvane::CloseArea();
  Bytes damaged = ReadFileBytes(file("t.mdx"));
  const size_t popAnchor = size_t{Get32(damaged, 512 + 2 * 32)} * 512;
  const size_t popRoot = size_t{Get32(damaged, popAnchor)} * 512;
  ASSERT_EQ(Get32(damaged, popRoot), 5u) << "the POP root is the leaf of the five keys";
  damaged[popRoot] = 200;  // 200 items of 16 bytes do not fit a page
  WriteFileBytes(file("t.mdx"), damaged);

  morvane::Use(file("t") + " EXCLUSIVE", nullptr, 0);
  ASSERT_TRUE(morvane::SetIndexTo("")) << Errors.ErrorDetail;
  morvane::SetOrderToTag("POP");
  EXPECT_NE(ReportedCode([] { morvane::GoTop(); }), 0) << "the move reads the damaged page";
  // The append reaches the refused page again: it reads it afresh and is refused the same way,
  // and the key GEO had received is taken out again.
  morvane::ClearRecord();
  SetField(kSumlev, "140");
  SetField(kGeocode, Geo(9));
  SetField(kPop, "5");
  EXPECT_EQ(ReportedCode([] { morvane::Append(); }), 254);
  EXPECT_EQ(ReportedCode([] { morvane::Append(); }), 254) << "a second attempt, the same answer";
  morvane::CloseArea();
  EXPECT_EQ(ReadFileBytes(file("t.mdx")), damaged) << "nothing written into the index";

  // The stored records are all there; GEO still holds exactly their keys.
  morvane::Use(file("t") + " EXCLUSIVE", nullptr, 0);
  ASSERT_TRUE(morvane::SetIndexTo("")) << Errors.ErrorDetail;
  morvane::SetOrderToTag("GEO");
  EXPECT_EQ(OrderFromTop(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
  ExpectNoError();
  for (int32_t r = 1; r <= 5; ++r) EXPECT_EQ(morvane::Peek(kGeocode, r), Geo(r)) << r;
}

}  // namespace
}  // namespace indextest

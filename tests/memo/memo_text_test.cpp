// The line view of a memo: hard and soft returns, the width limit with its break after the last
// blank, paragraphs read whole, and the line limit.
#include <gtest/gtest.h>

#include "tests/memo/memo_fixture.h"

namespace memotest {
namespace {

using namespace morvane;

class MemoTextTest : public MemoTest {
 protected:
  void SetUp() override {
    MemoTest::SetUp();
    MakeTable(kDbase3);
    Open();
  }
  // The paragraphs ReadLn returns for a memo holding Text.
  std::vector<std::string> Paragraphs(const std::string& text) {
    MemoTextFile f;
    f.AssignMemo(WriteMemo(text));
    EXPECT_TRUE(f.Reset()) << Errors.ErrorDetail;
    std::vector<std::string> out;
    for (std::string line; f.ReadLn(line);) out.push_back(line);
    lines_ = f.Lines();
    return out;
  }
  std::vector<MemoTextFile::StoredLine> lines_;
};

TEST_F(MemoTextTest, LinesEndAtHardAndSoftReturns) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Paragraphs("one\r\ntwo\rthree"), (V{"one", "two", "three"}));
  EXPECT_EQ(Paragraphs("soft\x8Dwrapped\r\nnext"), (V{"softwrapped", "next"}));
  EXPECT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_[0].End, MemoTextFile::LineEnd::Soft);
  EXPECT_EQ(Paragraphs("a\r\n\r\nb"), (V{"a", "", "b"}));
}

TEST_F(MemoTextTest, ALongParagraphIsStoredInWidthLinesAndReadAsOne) {
  std::string paragraph;
  while (paragraph.size() < 700) paragraph += "word" + std::to_string(paragraph.size()) + " ";
  const std::vector<std::string> read = Paragraphs(paragraph + "\r\nend");
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], paragraph);
  ASSERT_GE(lines_.size(), 4u);
  for (size_t i = 0; i + 2 < lines_.size(); ++i) {
    EXPECT_LE(lines_[i].Text.size(), MemoTextFile::kLineWidth);
    EXPECT_EQ(lines_[i].End, MemoTextFile::LineEnd::Width);
    EXPECT_EQ(lines_[i].Text.back(), ' ');  // broken after the last blank
  }
  const std::vector<std::string> unbroken = Paragraphs(std::string(600, 'x'));
  EXPECT_EQ(unbroken, std::vector<std::string>{std::string(600, 'x')});
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_[0].Text.size(), 253u);
}

TEST_F(MemoTextTest, MoreThan1024LinesEndTheLoadWithAnError) {
  std::string text;
  for (int i = 0; i < 1025; ++i) text += "l\r";
  MemoTextFile f;
  f.AssignMemo(WriteMemo(text));
  EXPECT_FALSE(f.Reset());
  ExpectError(217, "Reading memo field in " + file("t.dbt"));
  EXPECT_EQ(f.Lines().size(), 1024u);
}

TEST_F(MemoTextTest, AssignMemoNeedsAMemoFile) {
  CloseArea();
  MemoTextFile f;
  f.AssignMemo(1);
  ExpectError(215, "[AssignMemo]");
  EXPECT_FALSE(f.Reset());
}

}  // namespace
}  // namespace memotest

// Interchange of index files: XBase::Index (Perl, Debian package libdbd-xbase-perl) reads the
// tags of an index the engine built and returns the same keys in the same order with the same
// record numbers as the engine's own moves in key order. The package is required: when it is
// missing the test fails, it never skips.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/dbf/workarea.h"
#include "engine/expr/xqparser.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/support/test_support.h"

namespace {

struct Output {
  int status = -1;
  std::string text;
};

Output Perl(const std::string& file, const std::string& tag) {
  const std::string command = std::string("'") + AGEMILL_PERL + "' '" + MDX_PEER_SCRIPT + "' '" + file + "' '" +
                              tag + "' 2>&1";
  Output out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
  const int status = pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

morvane::FieldDescriptor Field(const char* name, char type, int width, int decimals = 0) {
  morvane::FieldDescriptor f;
  f.Name = name;
  f.Type = type;
  f.Width = static_cast<uint8_t>(width);
  f.Decimals = static_cast<uint8_t>(decimals);
  return f;
}

class MdxInterchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    morvane::EngineStartup();
    morvane::SetErrorCheck(false);
  }
  void TearDown() override { morvane::EngineShutdown(); }
  testsupport::TempDir dir_;
};

TEST_F(MdxInterchangeTest, PerlReadsTheEngineTagsInTheEngineOrder) {
  // 3000 records: a text tag three levels deep (50 keys a page), keys repeating.
  const std::string table = dir_.file("peer.dbf");
  morvane::DbfSettings.DefaultVersion = 0x03;
  morvane::DbfControlBlock scratch;
  const std::vector<morvane::FieldDescriptor> fields = {Field("SUMLEV", 'C', 3), Field("GEOCODE", 'C', 11),
                                                        Field("RACE", 'C', 1), Field("POP", 'N', 9, 1)};
  morvane::CreateDbf(scratch, table, fields);
  ASSERT_EQ(morvane::Errors.DbfError, 0);
  morvane::Select(1);
  morvane::Use(table + " EXCLUSIVE", nullptr, 0);
  {
    morvane::DbfControlBlock& t = morvane::CurrentWorkArea()->Table;
    const char races[] = " ABCDEFGH";
    for (int r = 0; r < 3000; ++r) {
      char text[64];
      std::snprintf(text, sizeof text, " %s%011d%c%9.1f", r % 2 ? "050" : "140", (r * 7919) % 1200,
                    races[r % 9], (r % 37) * 2.5 - 40);
      std::copy(text, text + t.RecordLength, t.RecordBuffer.begin());
      morvane::PutDbfRecord(t, t.RecordCount + 1);
    }
  }
  morvane::Use(table + " EXCLUSIVE", nullptr, 0);
  const std::vector<morvane::IndexTagDef> tags = {
      {"GEO", "sumlev + geocode + race", "", false, false},
      {"DOWN", "geocode + race", "", true, false},
      {"FIRST", "geocode", "", false, true},
      {"ONLY050", "geocode + race", "sumlev = \"050\"", false, false},
      {"POP", "pop", "", false, false},
  };
  ASSERT_TRUE(morvane::MakeIndex(tags, "")) << morvane::Errors.ErrorDetail;
  ASSERT_TRUE(morvane::SetIndexTo(""));
  const std::string index = dir_.file("peer.mdx");

  const Output names = Perl(index, "tags");
  ASSERT_EQ(names.status, 0) << "XBase::Index (libdbd-xbase-perl) must be installed: " << names.text;
  EXPECT_EQ(names.text, "DOWN\nFIRST\nGEO\nONLY050\nPOP\n");

  for (const morvane::IndexTagDef& tag : tags) {
    SCOPED_TRACE(tag.TagName);
    // The engine's order, with each record's key as the tag stores it.
    morvane::SetOrderToTag(tag.TagName);
    std::string expected;
    morvane::CompiledExpr* key = morvane::AssignExpr(tag.KeyExpr);
    ASSERT_NE(key, nullptr);
    size_t count = 0;
    for (morvane::GoTop(); !morvane::dEOF(); morvane::Skip(1)) {
      const std::string recno = std::to_string(morvane::RecNo());
      morvane::EvaluateExpr(key);
      expected += (key->ResultType == 'C' ? Hex(std::string(morvane::ResultText(key))) : std::string()) + " " + recno + "\n";
      ++count;
    }
    morvane::FreeExpr(key);
    EXPECT_GT(count, 100u);
    const Output peer = Perl(index, tag.TagName);
    ASSERT_EQ(peer.status, 0) << peer.text;
    if (tag.TagName == "POP") {
      // Numbers: the same records in the same order, each key the 12-byte decimal form.
      std::string records, keys;
      size_t lines = 0;
      for (size_t at = 0; at < peer.text.size();) {
        const size_t end = peer.text.find('\n', at);
        const std::string line = peer.text.substr(at, end - at);
        EXPECT_EQ(line.find(' '), 24u) << line;
        records += line.substr(line.find(' ')) + "\n";
        at = end + 1;
        ++lines;
      }
      EXPECT_EQ(records, expected);
      EXPECT_EQ(lines, count);
    } else {
      EXPECT_EQ(peer.text, expected);
    }
  }
}

}  // namespace

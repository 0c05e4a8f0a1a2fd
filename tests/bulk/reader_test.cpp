// The import reader on its own: values of a line, and lines across every buffer boundary.
#include <gtest/gtest.h>

#include "engine/dbf/bulk_reader.h"
#include "tests/support/test_support.h"

namespace bulktest {
namespace {

using namespace morvane;
using V = std::vector<std::string>;

V Values(const std::string& line, size_t capacity = 255) {
  V out;
  std::vector<char> buffer(capacity + 1, '#');
  size_t pos = 0;
  while (pos < line.size()) {
    const size_t n = NextDelimitedValue(line, pos, buffer.data(), capacity);
    EXPECT_EQ(buffer[capacity], '#') << "written past the value's capacity";
    out.emplace_back(buffer.data(), n);
  }
  return out;
}

TEST(DelimitedValues, AreCutAndUnquotedAsTheFormatSays) {
  EXPECT_EQ(Values("a,b,c"), (V{"a", "b", "c"}));
  EXPECT_EQ(Values("a,,c,"), (V{"a", "", "c"}));
  EXPECT_EQ(Values("  \t x y ,z"), (V{"x y ", "z"}));
  EXPECT_EQ(Values("\"a,b\",c"), (V{"a,b", "c"}));
  EXPECT_EQ(Values(" \"  lead\""), (V{"  lead"}));
  EXPECT_EQ(Values("\"x\"\"y\",z"), (V{"xy", "z"}));
  EXPECT_EQ(Values("\"open, never closed"), (V{"open, never closed"}));
  EXPECT_EQ(Values("abcdefgh,ij", 3), (V{"abc", "ij"}));
  EXPECT_EQ(Values("\"" + std::string(10, 'q') + "\",ok", 4), (V{"qqqq", "ok"}));
}

// Lines of Text read through a buffer of Size bytes.
V Lines(const std::string& text, size_t size) {
  testsupport::TempDir dir;
  testsupport::WriteFileText(dir.file("f"), text);
  const platform::os::Handle h = platform::os::FileOpen(dir.file("f"), 0x40);
  DelimitedReader reader(h, size);
  V out;
  for (std::string_view line; reader.NextLine(line);) out.emplace_back(line);
  EXPECT_FALSE(reader.Failed());
  platform::os::FileClose(h);
  return out;
}

TEST(DelimitedReaderTest, LinesAreTheSameWhateverTheBufferSize) {
  const struct {
    std::string text;
    V lines;
  } cases[] = {
      {"ab\r\ncd\r\n", {"ab", "cd"}},
      {"ab\ncd", {"ab", "cd"}},
      {"ab\r\r\ncd\r", {"ab", "cd"}},
      {"\r\n\r\n", {}},
      {"", {}},
      {"x\n\x1Ay\n", {"x"}},
      {"x\x1Ay\x1A\x1Az", {"x", "y"}},
      {std::string(5000, 'L') + "\r\n" + "s", {std::string(5000, 'L'), "s"}},
  };
  for (const auto& c : cases) {
    for (size_t size : {1, 2, 3, 5, 16, 65520}) {
      SCOPED_TRACE(testing::Message() << "buffer " << size << " text " << c.text.substr(0, 20));
      EXPECT_EQ(Lines(c.text, size), c.lines);
    }
  }
}

}  // namespace
}  // namespace bulktest

// Damaged index files: each is refused with a clear engine error, never a crash or a read outside
// a buffer, whatever the bytes (short files, bad key expressions, wrong key lengths and page
// geometry, page numbers out of range, counts too large, cycles, random damage).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/index/xqndx.h"
#include "tests/index/index_fixture.h"
#include "tests/support/test_support.h"

namespace indextest {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

class DamagedTest : public IndexTest {
 protected:
  // A table of 30 keys of width 100 (9 keys a page: a root branch over four leaves) and its
  // index; returns the index bytes.
  Bytes BuildGood() {
    std::vector<std::string> keys;
    for (int i = 0; i < 30; ++i) keys.push_back("key" + std::to_string(100 + i));
    OpenTextTable("t.dbf", 100, keys);
    EXPECT_TRUE(morvane::MakeIndex({Tag("K", "k")}, ""));
    return ReadFileBytes(file("t.mdx"));
  }
  size_t Anchor(const Bytes& b) const { return size_t{Get32(b, 544)} * 512; }
  size_t Root(const Bytes& b) const { return size_t{Get32(b, Anchor(b))} * 512; }

  // Writes the damaged bytes, then opens the index and walks it; the text of the first engine
  // error raised or reported, "" when everything worked.
  std::string OpenAndWalk(const Bytes& damaged) {
    WriteFileBytes(file("t.mdx"), damaged);
    morvane::Errors.DbfError = 0;
    try {
      if (!morvane::SetIndexTo("")) return "failed: " + morvane::Errors.ErrorDetail;
      morvane::Find("key115");
      for (const auto& walk : {&IndexTest::OrderFromTop, &IndexTest::OrderFromBottom}) {
        const auto order = walk();
        if (morvane::Errors.DbfError != 0) return "failed: " + morvane::Errors.ErrorDetail;
        if (order.size() > 30) return "too many records";
      }
    } catch (const morvane::EMorvaneError& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(DamagedTest, RefusesFilesThatCannotBeRead) {
  const Bytes good = BuildGood();
  ASSERT_EQ(OpenAndWalk(good), "");
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    const char* message;
  };
  const Case cases[] = {
      {"header only", [](Bytes& b) { b.resize(2048); }, "Unable to open index: "},
      {"shorter than 3072", [](Bytes& b) { b.resize(3071); }, "Unable to open index: "},
      {"empty file", [](Bytes& b) { b.clear(); }, "Unable to open index: "},
      {"too many tags", [](Bytes& b) { b[28] = 200; }, "Unable to open index: "},
      {"other page size", [](Bytes& b) { Put16(b, 22, 2048); }, "Unable to open index: "},
      {"tag header beyond the file", [](Bytes& b) { Put32(b, 544, 4000); }, "corrupted index file"},
      {"tag header in the file header", [](Bytes& b) { Put32(b, 544, 1); }, "corrupted index file"},
      {"bad key expression", [this](Bytes& b) { std::copy_n("nosuch+fld", 11, &b[Anchor(b) + 24]); },
       "Invalid dBASE key expression or corrupted index file"},
      {"logical key expression", [this](Bytes& b) { std::copy_n("k=\"a\"", 6, &b[Anchor(b) + 24]); },
       "Invalid dBASE key expression or corrupted index file"},
      {"FOR condition not logical", [this](Bytes& b) { std::copy_n("k", 2, &b[Anchor(b) + 762]); },
       "Invalid dBASE key expression or corrupted index file"},
      {"key length not the field's", [this](Bytes& b) { Put16(b, Anchor(b) + 12, 99); }, "Incorrect key length"},
      {"key length 0", [this](Bytes& b) { Put16(b, Anchor(b) + 12, 0); }, "Incorrect key length"},
      {"key length 101", [this](Bytes& b) { Put16(b, Anchor(b) + 12, 101); }, "Incorrect key length"},
      {"key type letter", [this](Bytes& b) { b[Anchor(b) + 9] = 'N'; }, "corrupted index file"},
      {"item length", [this](Bytes& b) { Put16(b, Anchor(b) + 18, 8); }, "corrupted index file"},
      {"keys per page too many", [this](Bytes& b) { Put16(b, Anchor(b) + 14, 60); }, "corrupted index file"},
      {"root beyond the file", [this](Bytes& b) { Put32(b, Anchor(b), 1000000); }, "corrupted index file"},
      {"root 0", [this](Bytes& b) { Put32(b, Anchor(b), 0); }, "corrupted index file"},
      {"root count too large", [this](Bytes& b) { Put16(b, Root(b), 0xFFFF); }, "Index file corrupted."},
      {"child beyond the file", [this](Bytes& b) { Put32(b, Root(b) + 8, 999998); }, "Invalid Node Number (999998)"},
      {"child page 0", [this](Bytes& b) { Put32(b, Root(b) + 8, 0); }, "Invalid Node Number (0)"},
      {"child is the root itself", [this](Bytes& b) { Put32(b, Root(b) + 8, Get32(b, Anchor(b))); },
       "Index file corrupted."},
      {"rightmost child is the root itself",
       [this](Bytes& b) {
         const size_t n = b[Root(b)];
         Put32(b, Root(b) + 8 + n * 104, Get32(b, Anchor(b)));
       },
       nullptr},  // found while walking: the failed move is reported
  };
  for (const Case& c : cases) {
    Bytes damaged = good;
    c.damage(damaged);
    const std::string error = OpenAndWalk(damaged);
    if (c.message == nullptr) {
      EXPECT_NE(error, "") << c.what;
    } else {
      EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
    if (c.message != nullptr) {
      EXPECT_EQ(morvane::CurrentOrder(), 0) << c.what;  // refused at opening
    }
    morvane::IndexClose();
  }
  // The table itself is untouched and the good file still opens.
  EXPECT_EQ(OpenAndWalk(good), "");
}

TEST_F(DamagedTest, RandomDamageNeverReadsOutsideABuffer) {
  const Bytes good = BuildGood();
  std::mt19937 random(20261211);
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = good;
    const int changes = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < changes; ++i) {
      // Mostly the tag table, the anchor and the pages, where the structure lives.
      const size_t at = random() % 3 == 0 ? 512 + random() % 64 : 2048 + random() % (damaged.size() - 2048);
      damaged[at] = static_cast<uint8_t>(random());
    }
    OpenAndWalk(damaged);  // any outcome but a crash or a sanitizer report
    morvane::IndexClose();
  }
}

}  // namespace
}  // namespace indextest

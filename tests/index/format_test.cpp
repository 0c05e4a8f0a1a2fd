// The index file's byte-level pieces: the decimal form of numeric keys and its ordering, the
// page geometry that follows from a key length, and the tag table's name tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/index/mdx_format.h"
#include "tests/support/test_support.h"

namespace {

using morvane::mdx::CompareDecimal;
using morvane::mdx::EncodeDecimal;
using testsupport::Bytes;

Bytes Decimal(const std::string& text, int decimals) {
  Bytes out(12);
  EncodeDecimal(text, decimals, out.data());
  return out;
}

TEST(DecimalForm, EncodesTheDocumentedExamples) {
  struct Case {
    const char* text;
    int decimals;
    const char* hex;
  };
  const Case cases[] = {
      {"123.45", 2, "37 15 12 34 50 00 00 00 00 00 00 00"},
      {"-0.05", 2, "33 85 50 00 00 00 00 00 00 00 00 00"},
      {"0", 0, "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"0.00", 2, "32 01 00 00 00 00 00 00 00 00 00 00"},  // zeros after the point count; zero's
                                                             // exponent is ignored when comparing
      {"1234", 0, "38 29 12 34 00 00 00 00 00 00 00 00"},
      {"  +1234", 0, "38 29 12 34 00 00 00 00 00 00 00 00"},
      {"1234.00", 2, "38 29 12 34 00 00 00 00 00 00 00 00"},
      {"1234.50", 2, "38 19 12 34 50 00 00 00 00 00 00 00"},  // 6 digits: 1 trailing zero < 2
      {"-7", 0, "35 A9 70 00 00 00 00 00 00 00 00 00"},
      {"12345678901234567890123", 0, "4B 4D 12 34 56 78 90 12 34 56 78 90"},  // 23 digits, 20 kept
  };
  for (const Case& c : cases)
    EXPECT_EQ(Decimal(c.text, c.decimals), testsupport::FromHex(c.hex)) << c.text;
}

TEST(DecimalForm, OrdersLikeTheNumbers) {
  // Ascending values, written as a key builder (fixed decimals) or a search text would.
  const std::vector<std::pair<std::string, int>> values = {
      {"-1000000", 0}, {"-123.45", 2}, {"-1.5", 1}, {"-0.05", 2}, {"0", 0},   {"0.001", 3},
      {"0.05", 2},     {"0.5", 1},     {"1", 0},    {"1.5", 1},   {"9.99", 2}, {"10", 0},
      {"123.45", 2},   {"1000000", 0}, {"99999999999999999999999", 0}, {"100000000000000000000000", 0}};
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t j = 0; j < values.size(); ++j) {
      const Bytes a = Decimal(values[i].first, values[i].second);
      const Bytes b = Decimal(values[j].first, values[j].second);
      const int expected = i < j ? -1 : (i > j ? 1 : 0);
      EXPECT_EQ(CompareDecimal(a.data(), b.data()), expected)
          << values[i].first << " vs " << values[j].first;
    }
  }
}

TEST(DecimalForm, SearchTextEqualsStoredKey) {
  // A search text (decimals 0) finds the key built with the expression's decimals.
  const std::pair<const char*, const char*> pairs[] = {
      {"1234", "1234.00"}, {"12.5", "12.50"}, {"-0.05", "-0.05"}, {"0", "0.00"}, {"007", "7.00"}};
  for (const auto& [search, stored] : pairs) {
    const Bytes a = Decimal(search, 0);
    const Bytes b = Decimal(stored, 2);
    EXPECT_EQ(CompareDecimal(a.data(), b.data()), 0) << search << " vs " << stored;
  }
}

TEST(PageGeometry, FollowsTheKeyLength) {
  struct Case {
    size_t keyLength, itemLength, maxKeys;
  };
  const Case cases[] = {{15, 20, 50}, {12, 16, 63}, {8, 12, 84}, {1, 8, 126}, {100, 104, 9}, {4, 8, 126}};
  for (const Case& c : cases) {
    EXPECT_EQ(morvane::mdx::ItemLength(c.keyLength), c.itemLength) << c.keyLength;
    EXPECT_EQ(morvane::mdx::MaxKeysPerPage(c.itemLength), c.maxKeys) << c.keyLength;
    // A full page still leaves room for the trailing word.
    EXPECT_LE(8 + c.maxKeys * c.itemLength + 4, 1024u);
  }
}

TEST(NameTree, LinksTagsByName) {
  std::vector<uint8_t> header(2048);
  morvane::mdx::CreateMdxHeader(header.data(), "people", 2026, 12, 11);
  const char* names[] = {"MIDDLE", "ALPHA", "ZULU", "BRAVO", "MIDDLE2"};
  header[28] = 5;
  for (int k = 1; k <= 5; ++k) std::strcpy(reinterpret_cast<char*>(&header[512 + 32 * k + 4]), names[k - 1]);
  morvane::mdx::RebuildNameTree(header.data());
  // {left, right, parent} of tags 1..5; entry 0 names the root.
  const int expected[6][3] = {{0, 1, 0}, {2, 3, 0}, {0, 4, 1}, {5, 0, 1}, {0, 0, 2}, {0, 0, 3}};
  for (int k = 0; k <= 5; ++k) {
    const uint8_t* e = &header[512 + 32 * k];
    EXPECT_EQ(e[16], expected[k][0]) << "left of " << k;
    EXPECT_EQ(e[17], expected[k][1]) << "right of " << k;
    EXPECT_EQ(e[18], expected[k][2]) << "parent of " << k;
  }
}

}  // namespace

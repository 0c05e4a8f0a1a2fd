// Shared fixture of the locking and update suites: a fresh engine per test (errors recorded, not
// handled) and a ten-record table t.dbf (NAME C10, QTY N5, PRICE N8.2, WHEN D8, OK L1; record i
// holds "Name0i", i, 1.50, 2010-07-04, true) in a private folder.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "tests/dbf/dbf_fixture.h"

namespace lockstest {

using testsupport::Bytes;

inline constexpr int kRecords = 10;
inline constexpr uint16_t kHeaderLength = 32 + 5 * 32 + 1;         // 193
inline constexpr uint16_t kRecordLength = 1 + 10 + 5 + 8 + 8 + 1;  // 33

// The raw record i of the fixture table (deletion byte first).
inline std::string FixtureRecord(int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " Name%02d    %5d    1.5020100704T", i, i);
  return buf;
}

class TableTest : public dbftest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    dbftest::CreateTable(table(), {dbftest::Fd("NAME", 'C', 10), dbftest::Fd("QTY", 'N', 5),
                                   dbftest::Fd("PRICE", 'N', 8, 2), dbftest::Fd("WHEN", 'D', 8),
                                   dbftest::Fd("OK", 'L', 1)});
    std::vector<std::string> records;
    for (int i = 1; i <= kRecords; ++i) records.push_back(FixtureRecord(i));
    dbftest::AppendRaw(table(), records);
  }

  std::string table() const { return file("t.dbf"); }
  Bytes FileBytes() const { return testsupport::ReadFileBytes(table()); }

  // Opens the table in the current area, shared unless Exclusive.
  void Open(bool exclusive = false) {
    morvane::Use(table() + (exclusive ? " EXCLUSIVE" : ""), nullptr, 0);
    ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
  }
  static morvane::WorkArea& Area() { return *morvane::CurrentWorkArea(); }
  // Stores a text value in the current area's typed record.
  static void Set(const std::string& name, const std::string& value) {
    const int n = morvane::FieldNo(name);
    ASSERT_GT(n, 0) << name;
    morvane::StoreValueText(Area().Table.Fields[static_cast<size_t>(n - 1)], Area().Typed, value);
  }
  // The raw text of a field of the current record.
  static std::string Raw(const std::string& name) {
    const morvane::FieldDescriptor& f =
        Area().Table.Fields[static_cast<size_t>(morvane::FieldNo(name) - 1)];
    return std::string(Area().Table.Record() + f.Offset, f.Width);
  }
  // The record lock range of record N of the fixture table.
  static uint64_t RecordOffset(int32_t n) {
    return morvane::kLockBase + kHeaderLength + static_cast<uint64_t>(n - 1) * kRecordLength;
  }
};

}  // namespace lockstest

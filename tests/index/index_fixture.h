// Shared fixture of the index suites: a fresh engine per test (errors recorded, not handled; the
// errors that always raise arrive as EMorvaneError), a private folder, and builders for small
// tables of the AX layout's key fields with an optional number and date column.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/support/test_support.h"

namespace indextest {

using testsupport::Bytes;

// One record of a key table: sumlev C(3), geocode C(11), race C(1), pop N(8,2), day D.
struct KeyRow {
  std::string sumlev;
  std::string geocode;
  std::string race;
  std::string pop = "";     // right-aligned into the field
  std::string day = "";     // YYYYMMDD or blank
  bool deleted = false;
};

class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    morvane::EngineStartup();
    morvane::SetErrorCheck(false);
  }
  void TearDown() override { morvane::EngineShutdown(); }

  std::string file(const std::string& name) const { return dir_.file(name); }

  // Creates Name (a .dbf in the test folder) with the key-table fields and Rows, and opens it
  // exclusively in area 1 (or shared when Shared).
  void OpenKeyTable(const std::string& Name, const std::vector<KeyRow>& Rows, bool Shared = false);
  // Creates a table with one C field "K" of Width and the given texts (left-aligned), opens it.
  void OpenTextTable(const std::string& Name, int Width, const std::vector<std::string>& Keys);

  // The record numbers in the controlling order from GoTop to the end.
  static std::vector<int32_t> OrderFromTop();
  // The same from GoBottom backwards.
  static std::vector<int32_t> OrderFromBottom();

  static void ExpectNoError() { EXPECT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail; }

  testsupport::TempDir dir_;
};

// The record of a key row as raw bytes (deletion flag and fields).
std::string RawRecord(const KeyRow& Row);

// Defines one tag.
morvane::IndexTagDef Tag(const std::string& Name, const std::string& Key, const std::string& For = "",
                         bool Descending = false, bool Unique = false);

}  // namespace indextest

// Shared fixture of the table-layer suites: a fresh engine per test with errors recorded (not
// handled), a private folder, and small builders for tables written by the engine or byte by
// byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "tests/support/test_support.h"

namespace dbftest {

using testsupport::Bytes;

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    morvane::EngineStartup();
    morvane::SetErrorCheck(false);
  }
  void TearDown() override { morvane::EngineShutdown(); }

  // Expects the last operation to have failed with Code and a detail containing Detail.
  static void ExpectError(uint16_t code, const std::string& detail) {
    EXPECT_EQ(morvane::Errors.DbfError, code) << morvane::Errors.ErrorDetail;
    EXPECT_NE(morvane::Errors.ErrorDetail.find(detail), std::string::npos)
        << "detail: " << morvane::Errors.ErrorDetail << "\nexpected: " << detail;
  }
  static void ExpectNoError() {
    EXPECT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
  }

  std::string file(const std::string& name) const { return dir_.file(name); }

  testsupport::TempDir dir_;
};

inline morvane::FieldDescriptor Fd(const std::string& name, char type, int width, int decimals = 0) {
  morvane::FieldDescriptor f;
  f.Name = name;
  f.Type = type;
  f.Width = static_cast<uint8_t>(width);
  f.Decimals = static_cast<uint8_t>(decimals);
  return f;
}

// Creates Path with the engine (DefaultVersion := Version for the call).
inline void CreateTable(const std::string& path, const std::vector<morvane::FieldDescriptor>& fields,
                        uint8_t version = 0x03) {
  const uint8_t saved = morvane::DbfSettings.DefaultVersion;
  morvane::DbfSettings.DefaultVersion = version;
  morvane::DbfControlBlock scratch;
  morvane::CreateDbf(scratch, path, fields);
  morvane::DbfSettings.DefaultVersion = saved;
}

// Appends raw records (deletion byte + field text, exactly the record length each) to a table
// created by the engine, through the table layer, and closes it.
inline void AppendRaw(const std::string& path, const std::vector<std::string>& records) {
  morvane::DbfControlBlock b;
  b.FileName = path;
  morvane::OpenDbf(b);
  ASSERT_EQ(b.State, morvane::dsClean) << morvane::Errors.ErrorDetail;
  for (const std::string& r : records) {
    ASSERT_EQ(r.size(), b.RecordLength) << r;
    std::copy(r.begin(), r.end(), b.RecordBuffer.begin());
    morvane::PutDbfRecord(b, b.RecordCount + 1);
  }
  morvane::CloseDbf(b);
}

// A dBASE III prolog + descriptors + terminator, written by hand for malformed-file cases.
struct RawField {
  std::string name;  // written as is (up to 11 bytes)
  char type;
  uint8_t width;
  uint8_t decimals = 0;
};
inline Bytes Dbase3Header(uint8_t version, const std::vector<RawField>& fields, uint32_t count,
                          int headerLengthDelta = 0, int recordLengthDelta = 0) {
  Bytes h(32, 0);
  h[0] = version;
  h[1] = 110;  // 2010-07-04
  h[2] = 7;
  h[3] = 4;
  for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<uint8_t>(count >> (8 * i));
  int recordLength = 1;
  for (const RawField& f : fields) {
    Bytes d(32, 0);
    std::copy(f.name.begin(), f.name.begin() + std::min<size_t>(f.name.size(), 11), d.begin());
    d[11] = static_cast<uint8_t>(f.type);
    d[16] = f.width;
    d[17] = f.decimals;
    h.insert(h.end(), d.begin(), d.end());
    recordLength += f.width;
  }
  h.push_back(0x0D);
  const int headerLength = static_cast<int>(h.size()) + headerLengthDelta;
  h[8] = static_cast<uint8_t>(headerLength);
  h[9] = static_cast<uint8_t>(headerLength >> 8);
  recordLength += recordLengthDelta;
  h[10] = static_cast<uint8_t>(recordLength);
  h[11] = static_cast<uint8_t>(recordLength >> 8);
  return h;
}

inline void AppendText(Bytes& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}

}  // namespace dbftest

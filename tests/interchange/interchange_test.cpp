// Interchange with independent DBF programs: tables the engine writes must read with the same
// values in python3-dbfread and python3-dbf, and tables python3-dbf writes (dBASE III with and
// without memo, FoxPro with F and memo fields) must read correctly in the engine. The python
// packages are required: a missing one fails the test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/dbf/workarea.h"
#include "engine/util/dates.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/support/test_support.h"

namespace {

using namespace morvane;

struct Output {
  int status = -1;
  std::string text;
};

// Runs the peer script with the interpreter found at configure time.
Output Peer(const std::string& arguments) {
  const std::string command =
      std::string("'") + AGEMILL_PYTHON + "' '" + DBF_PEER_SCRIPT + "' " + arguments + " 2>&1";
  Output out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
  int status = pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

class InterchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EngineStartup();
    SetErrorCheck(false);
    SetDateConvention(0);
    SetCenturyOn(true);
  }
  void TearDown() override { EngineShutdown(); }

  template <typename T>
  static void SetSlot(int field, T value) {
    std::memcpy(FieldAddress(field), &value, sizeof value);
  }
  static void SetText(int field, const std::string& text) {
    uint8_t* slot = FieldAddress(field);
    slot[0] = static_cast<uint8_t>(text.size());
    std::memcpy(slot + 1, text.data(), text.size());
  }
  // Encodes the typed record and appends it through the table layer.
  static void AppendTyped(bool deleted) {
    WorkArea& a = *CurrentWorkArea();
    a.Typed[0] = deleted ? 1 : 0;
    TypedToRecord(a.Table, a.Typed);
    PutDbfRecord(a.Table, a.Table.RecordCount + 1);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  }

  // The current record's values as text: C trimmed, N/F as numbers, D as the date text, L as T/F,
  // M as "+" when it names a block; "*" first for a deleted record.
  static std::string RecordText() {
    std::string out = *FieldAddress(0) ? "*" : "";
    for (int i = 1; i <= FieldCount(); ++i) {
      const uint8_t* slot = FieldAddress(i);
      if (i > 1) out += "|";
      switch (FieldType(i)) {
        case 'C': {
          std::string t(reinterpret_cast<const char*>(slot) + 1, slot[0]);
          out += t.substr(0, t.find_last_not_of(' ') + 1);
          break;
        }
        case 'D': {  // a blank date (blanks and separators) as ""
          std::string t(reinterpret_cast<const char*>(slot) + 1, slot[0]);
          if (t.find_first_not_of(" /") != std::string::npos) out += t;
          break;
        }
        case 'M': {  // the memo's block number: "+" for any block, "0" for none
          int32_t v;
          std::memcpy(&v, slot, sizeof v);
          out += v > 0 ? "+" : "0";
          break;
        }
        case 'L':
          out += *slot ? "T" : "F";
          break;
        case 'N':
        case 'F':
          if (FieldDec(i) > 0) {
            double v;
            std::memcpy(&v, slot, sizeof v);
            char text[64];
            std::snprintf(text, sizeof text, "%.*f", FieldDec(i), v);
            out += text;
            break;
          }
          [[fallthrough]];
        default: {
          int32_t v;
          std::memcpy(&v, slot, sizeof v);
          out += std::to_string(v);
        }
      }
    }
    return out;
  }
  static std::vector<std::string> AllRecords() {
    std::vector<std::string> rows;
    for (GoTop(); !dEOF(); Skip(1)) rows.push_back(RecordText());
    return rows;
  }

  testsupport::TempDir dir_;
};

TEST_F(InterchangeTest, PeersReadWhatTheEngineWrites) {
  const std::string path = dir_.file("engine.dbf");
  std::vector<FieldDescriptor> fields(6);
  const char* names[] = {"NAME", "AGE", "PAID", "RATE", "BORN", "OK"};
  const char types[] = {'C', 'N', 'N', 'F', 'D', 'L'};
  const int widths[] = {12, 3, 9, 10, 8, 1};
  const int decimals[] = {0, 0, 2, 4, 0, 0};
  for (size_t i = 0; i < fields.size(); ++i) {
    fields[i].Name = names[i];
    fields[i].Type = types[i];
    fields[i].Width = static_cast<uint8_t>(widths[i]);
    fields[i].Decimals = static_cast<uint8_t>(decimals[i]);
  }
  DbfSettings.DefaultVersion = 0x8B;  // no memo field: written as 0x03
  DbfControlBlock scratch;
  CreateDbf(scratch, path, fields);
  ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;

  Use(path, nullptr, 0);  // OEM translation on: texts are stored in code page 437
  ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
  struct Row {
    const char* name;
    int32_t age;
    double paid, rate;
    const char* born;
    bool ok, deleted;
  };
  const Row rows[] = {{"Ren\xE9" "e \xC4gir", 42, 1234.5, 3.14159, "12/31/1999", true, false},
                      {"Bob", 7, 0, -0.5, "", false, true},
                      {"", 0, -12.25, 0, "07/04/2010", true, false}};
  for (const Row& r : rows) {
    ClearRecord();
    SetText(1, r.name);
    SetSlot<int32_t>(2, r.age);
    SetSlot<double>(3, r.paid);
    SetSlot<double>(4, r.rate);
    SetText(5, r.born);
    SetSlot<uint8_t>(6, r.ok ? 1 : 0);
    AppendTyped(r.deleted);
  }
  CloseArea();

  const std::string expected =
      "[\"Ren\xC3\xA9" "e \xC3\x84gir\", 42, 1234.5, 3.1416, \"1999-12-31\", true]\n"
      "[\"\", 0, -12.25, 0.0, \"2010-07-04\", true]\n"
      "D [\"Bob\", 7, 0.0, -0.5, null, false]\n";
  for (const char* reader : {"read-dbfread", "read-dbf"}) {
    SCOPED_TRACE(reader);
    Output out = Peer(std::string(reader) + " '" + path + "'");
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_EQ(out.text, expected);
  }
}

TEST_F(InterchangeTest, TheEngineReadsWhatPeersWrite) {
  struct Case {
    const char* kind;
    uint8_t version;
    std::vector<std::string> records;  // in file order
  };
  const std::vector<Case> cases = {
      {"db3", 0x03,
       {"\xC4rger M\xFCller|5|12.50|01/31/2011|T", "*x|0|-1.25||F", "Zo\xE9|999|123456.78|12/31/1999|T"}},
      {"db3-memo", 0x83, {"one|+", "two|+"}},
      {"fp", 0xF5, {"pi|3.1416|314|+", "neg|-0.5000|-12|+"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::string path = dir_.file(std::string(c.kind) + ".dbf");
    Output out = Peer(std::string("write ") + c.kind + " '" + path + "'");
    ASSERT_EQ(out.status, 0) << out.text;
    Errors.DbfError = 0;
    Use(path, nullptr, 0);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    EXPECT_EQ(CurrentWorkArea()->Table.Version(), c.version);
    EXPECT_EQ(RecCount(), static_cast<int32_t>(c.records.size()));
    EXPECT_EQ(AllRecords(), c.records);
    EXPECT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    CloseArea();
  }
}

}  // namespace

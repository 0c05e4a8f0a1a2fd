// Memo interchange with independent programs: memos the engine writes in each layout (dBASE III
// and dBASE IV DBT, FoxPro FPT) read back by python3-dbfread, python3-dbf and Perl's XBase, and
// memos those write (python3-dbf: dBASE III and FoxPro; XBase: dBASE IV) read by the engine, with
// each side then adding memos to the other's file without overwriting any. The packages are
// required: a missing one fails the test.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/dbf/memo.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "tests/dbf/dbf_fixture.h"

namespace {

using namespace morvane;

struct Output {
  int status = -1;
  std::string text;
};

std::string ScriptFolder() {
  const std::string peer = DBF_PEER_SCRIPT;
  return peer.substr(0, peer.rfind('/') + 1);
}

// Runs a peer command with Input on its standard input (through a file).
Output RunPeer(const std::string& command, const std::string& input, const std::string& folder) {
  const std::string inputFile = folder + "/peer-input.txt";
  testsupport::WriteFileText(inputFile, input);
  Output out;
  FILE* pipe = popen((command + " < '" + inputFile + "' 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
  const int status = pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::string Python(const std::string& args) {
  return std::string("'") + AGEMILL_PYTHON + "' '" + ScriptFolder() + "memo_peer.py' " + args;
}
#ifndef AGEMILL_PERL
#define AGEMILL_PERL "perl"
#endif
std::string Perl(const std::string& args) {
  return std::string("'") + AGEMILL_PERL + "' '" + ScriptFolder() + "memo_peer.pl' " + args;
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

struct Row {
  std::string name;
  std::string memo;  // ANSI text
};

// Memos that cross block boundaries in every layout, an empty one and one with accents.
std::vector<Row> SampleRows() {
  std::string lines;
  for (int i = 0; i < 120; ++i) lines += "line " + std::to_string(i) + "\r\n";
  return {{"short", "hello"},
          {"empty", ""},
          {"long", lines},
          {"accent", "caf\xE9 \xFC" "ber"},
          {"block3", std::string(510, '3')},   // with two end marks exactly one dBASE III block
          {"block4", std::string(504, '4')},   // with its header exactly one dBASE IV block
          {"after", "the last one"}};
}

// The lines a peer prints for Rows: "NAME<tab>hex of the OEM bytes".
std::string PeerLines(const std::vector<Row>& rows) {
  std::string out;
  for (const Row& r : rows) out += r.name + "\t" + Hex(AnsiToOemText(r.memo)) + "\n";
  return out;
}

struct LayoutCase {
  const char* name;
  uint8_t version;
  uint16_t blockSize;
  const char* pythonKind;  // python3-dbf's kind, "" when it has none for this layout
};
const LayoutCase kLayouts[] = {
    {"dBASE III", 0x83, 512, "db3"},
    {"dBASE IV", 0x8B, 512, ""},
    {"FoxPro", 0xF5, 64, "fp"},
};

class MemoInterchangeTest : public dbftest::EngineTest {
 public:
  // Appends Rows to the open table of the current area, each memo through the blob stream.
  static void AppendRows(const std::vector<Row>& rows) {
    WorkArea& a = *CurrentWorkArea();
    for (const Row& r : rows) {
      ClearRecord();
      uint8_t* name = FieldAddress(1);
      name[0] = static_cast<uint8_t>(r.name.size());
      std::memcpy(name + 1, r.name.data(), r.name.size());
      int32_t block = 0;
      if (!r.memo.empty()) {
        block = CreateBlobDescriptor(a.Table.OemTranslation, 0, 2);
        WriteBlobStream(r.memo.data(), static_cast<int32_t>(r.memo.size()));
        DestroyBlobDescriptor();
      }
      std::memcpy(FieldAddress(2), &block, sizeof block);
      Append();
      ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    }
  }
 protected:
  // The rows of the open table as the engine reads them.
  static std::vector<Row> EngineRows() {
    std::vector<Row> rows;
    for (int32_t r = 1; r <= RecCount(); ++r) {
      Go(r);
      const uint8_t* name = FieldAddress(1);
      std::string n(reinterpret_cast<const char*>(name) + 1, name[0]);
      n.erase(n.find_last_not_of(' ') + 1);
      int32_t block = 0;
      std::memcpy(&block, FieldAddress(2), sizeof block);
      std::string memo;
      if (block != 0) {
        EXPECT_TRUE(ReadMemoText(block, memo)) << n << ": " << Errors.ErrorDetail;
      }
      rows.push_back({n, memo});
    }
    return rows;
  }
  static std::string Lines(const std::vector<Row>& rows) {
    std::string out;
    for (const Row& r : rows) out += r.name + "|" + r.memo + "\n";
    return out;
  }
};

// python3-dbfread takes a dBASE IV memo's length word as the length of the data after the header
// (it counts the header too), so it reads up to 8 bytes beyond the memo; those are cut here.
std::string WithoutDbfreadOverrun(const std::string& printed, const std::vector<Row>& rows) {
  std::string out;
  size_t at = 0;
  for (const Row& r : rows) {
    const size_t end = printed.find('\n', at);
    std::string line = printed.substr(at, end - at);
    const size_t keep = r.name.size() + 1 + 2 * r.memo.size();
    if (line.size() > keep && line.size() <= keep + 16) line.resize(keep);
    out += line + "\n";
    at = end + 1;
  }
  return out;
}

// A table the engine writes with Rows in Layout; its file name.
std::string WriteEngineTable(const std::string& table, const LayoutCase& layout,
                             const std::vector<Row>& rows) {
  DbfSettings.DefaultMemoBlockSize = layout.blockSize;
  dbftest::CreateTable(table, {dbftest::Fd("NAME", 'C', 10), dbftest::Fd("NOTE", 'M', 10)},
                       layout.version);
  DbfSettings.DefaultMemoBlockSize = 512;
  Use(table + " EXCLUSIVE", nullptr, 0);
  MemoInterchangeTest::AppendRows(rows);
  CloseArea();
  return table;
}

TEST_F(MemoInterchangeTest, MemosTheEngineWritesReadTheSameElsewhere) {
  const std::vector<Row> rows = SampleRows();
  // python3-dbf fails on an empty memo stored as block number 0 (it expects blanks there), so its
  // tables have none.
  std::vector<Row> withoutEmpty;
  for (const Row& r : rows)
    if (!r.memo.empty()) withoutEmpty.push_back(r);
  for (const LayoutCase& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    const std::string table =
        WriteEngineTable(file(std::string("e") + layout.pythonKind + ".dbf"), layout, rows);
    const Output dbfread = RunPeer(Python("read-dbfread '" + table + "'"), "", dir_.path());
    ASSERT_EQ(dbfread.status, 0) << dbfread.text;
    EXPECT_EQ(layout.version == 0x8B ? WithoutDbfreadOverrun(dbfread.text, rows) : dbfread.text,
              PeerLines(rows));
    const Output xbase = RunPeer(Perl("read '" + table + "'"), "", dir_.path());
    ASSERT_EQ(xbase.status, 0) << xbase.text;
    EXPECT_EQ(xbase.text, PeerLines(rows));
    if (*layout.pythonKind) {
      const std::string other = WriteEngineTable(
          file(std::string("n") + layout.pythonKind + ".dbf"), layout, withoutEmpty);
      const Output dbf = RunPeer(Python("read-dbf '" + other + "'"), "", dir_.path());
      ASSERT_EQ(dbf.status, 0) << dbf.text;
      EXPECT_EQ(dbf.text, PeerLines(withoutEmpty));
    }
  }
}

TEST_F(MemoInterchangeTest, MemosOthersWriteReadInTheEngineAndBothSidesAddToOneFile) {
  const std::vector<Row> rows = SampleRows();
  const std::vector<Row> engineRows = {{"engine", "added by the engine"}};
  const std::vector<Row> peerRows = {{"peer", "added by the other program"}};
  for (const LayoutCase& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    const std::string table = file(std::string("p") + layout.pythonKind + ".dbf");
    const bool python = *layout.pythonKind != '\0';
    const Output written = RunPeer(
        python ? Python(std::string("write ") + layout.pythonKind + " '" + table + "'")
               : Perl("write '" + table + "'"),
        [&] {
          std::string in;
          for (const Row& r : rows) in += r.name + "\t" + Hex(AnsiToOemText(r.memo)) + "\n";
          return in;
        }(),
        dir_.path());
    ASSERT_EQ(written.status, 0) << written.text;
    ASSERT_EQ(testsupport::ReadFileBytes(table)[0], layout.version);

    Use(table, nullptr, 0);
    ASSERT_EQ(Errors.DbfError, 0) << Errors.ErrorDetail;
    EXPECT_EQ(Lines(EngineRows()), Lines(rows));
    // The engine adds a memo to the other program's file, then the other program one more.
    Use(table + " EXCLUSIVE", nullptr, 0);
    AppendRows(engineRows);
    CloseArea();
    const Output appended = RunPeer(python ? Python("append '" + table + "'") : Perl("append '" + table + "'"),
                                    PeerLines(peerRows), dir_.path());
    ASSERT_EQ(appended.status, 0) << appended.text;

    std::vector<Row> all = rows;
    all.insert(all.end(), engineRows.begin(), engineRows.end());
    all.insert(all.end(), peerRows.begin(), peerRows.end());
    Use(table, nullptr, 0);
    EXPECT_EQ(Lines(EngineRows()), Lines(all));
    CloseArea();
    const Output reread = RunPeer(python ? Python("read-dbf '" + table + "'") : Perl("read '" + table + "'"),
                                  "", dir_.path());
    EXPECT_EQ(reread.text, PeerLines(all));
  }
}

}  // namespace

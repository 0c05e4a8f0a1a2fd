// Processes killed (SIGKILL) in the middle of a long delimited import and of a run of appends
// with an open two-tag index, at several moments each. The table is reopened with the record
// count taken from the file size: every record written before the kill is there and equal to
// what was written, and a record cut short at the end is not counted. The index is either in
// step with the table or found out of step (refused by the engine, or by the page checks and the
// comparison with the records), and a rebuild then gives one in step with every record.
// Rebuilding such an index by itself when a table is opened is the table components' work; here
// the rebuild is called directly.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "tests/faults/faults_fixture.h"
#include "tests/faults/index_state.h"
#include "tests/support/child_process.h"

namespace faulttest {
namespace {

using namespace morvane;

constexpr int kImportLines = 20000;

// The import's progress window, in the child: each step tells the parent how many records the
// table holds on disk by then (the import writes what it has read before every step), then
// pauses briefly so that the parent's kill lands while the import is still running.
testsupport::ChildChannel* gChannel = nullptr;
void NoWindow(const std::string&) {}
void NoClose() {}
void ReportStep() {
  const WorkArea* a = CurrentWorkArea();
  if (gChannel != nullptr && a != nullptr)
    gChannel->WriteLine(std::to_string(a->Table.RecordCount));
  ::usleep(300);
}

class CrashKillTest : public IndexedTableTest {
 protected:
  // Reads child lines (numbers) until one reaches At; the last number read. 0 when the child
  // stopped before.
  static int32_t AwaitCount(testsupport::Child& Child, int32_t At) {
    int32_t seen = 0;
    while (seen < At) {
      const std::string line = Child.Receive();
      if (line.empty()) return 0;
      seen = std::stoi(line);
    }
    return seen;
  }
  static void Kill(testsupport::Child& Child) {
    ASSERT_EQ(::kill(Child.pid(), SIGKILL), 0);
    EXPECT_EQ(Child.Wait(), 128 + SIGKILL);
  }

  // Cuts Path's last record short (as a write torn by a power failure would leave it).
  static void TearLastRecord(const std::string& Path) {
    testsupport::Bytes bytes = testsupport::ReadFileBytes(Path);
    bytes.resize(bytes.size() - 11);
    testsupport::WriteFileBytes(Path, bytes);
  }

};

TEST_F(CrashKillTest, AKilledImportKeepsEveryRecordItWrote) {
  // The text, and the records a complete import makes of it (the reference).
  const std::string text = file("in.txt");
  std::string lines;
  for (int i = 1; i <= kImportLines; ++i) {
    lines += "\"N" + std::to_string(i) + "\"," + std::to_string(i * 37 % 100000000) + ",2010" +
             (i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1) + (i % 28 < 9 ? "0" : "") +
             std::to_string(i % 28 + 1) + "," + (i % 2 != 0 ? "T" : "F") + "\r\n";
  }
  testsupport::WriteFileText(text, lines);
  const std::string reference = file("ref.dbf");
  BuildTable(reference, 0);
  Select(1);
  Use(reference + " EXCLUSIVE", nullptr, 0);
  const DelimitedImportResult whole = AppendFromDelimited(text, false);
  ASSERT_EQ(whole.Appended, kImportLines) << Errors.ErrorDetail;
  CloseAll();
  const std::vector<std::string> expected = StoredRecords(reference);
  ASSERT_EQ(expected.size(), static_cast<size_t>(kImportLines));
  ASSERT_EQ(expected[41].substr(0, 11), " N42       ");

  const auto asImported = [&](int32_t r, const std::string& image) {
    return r >= 1 && r <= kImportLines && image == expected[static_cast<size_t>(r - 1)];
  };
  for (int percent : {5, 50, 90}) {
    SCOPED_TRACE("killed after " + std::to_string(percent) + "% of the lines");
    BuildTable(table_, 0);
    testsupport::Child child([&](testsupport::ChildChannel& channel) {
      gChannel = &channel;
      ProgressHooks = {&NoWindow, &ReportStep, &NoClose};
      Select(1);
      Use(table_ + " EXCLUSIVE", nullptr, 0);
      if (CurrentWorkArea() == nullptr) return 1;
      AppendFromDelimited(text, true);
      channel.WriteLine("done");
      return Errors.DbfError == 0 ? 0 : 2;
    });
    ASSERT_TRUE(child.started());
    const int32_t written = AwaitCount(child, kImportLines * percent / 100);
    ASSERT_GT(written, 0) << "the child stopped importing";
    Kill(child);

    const int32_t held = ExpectTableHolds(table_, written, kImportLines, asImported);
    EXPECT_LT(held, kImportLines) << "the kill came after the import";
    TearLastRecord(table_);
    EXPECT_EQ(ExpectTableHolds(table_, held - 1, held - 1, asImported), held - 1)
        << "a record cut short was counted";
  }
}

TEST_F(CrashKillTest, AppendsWithAnOpenIndexKilledLeaveAnIndexThatIsInStepOrRebuilt) {
  BuildTable(table_, 5);
  Select(1);
  Use(table_ + " EXCLUSIVE", nullptr, 0);
  ASSERT_TRUE(MakeIndex(NamePopTags(), index_)) << Errors.ErrorDetail;
  CloseAll();
  const testsupport::Bytes tableBytes = testsupport::ReadFileBytes(table_);
  const testsupport::Bytes indexBytes = testsupport::ReadFileBytes(index_);
  const auto appended = [](int32_t r, const std::string& image) {
    return image == RecordImage(r, r <= 5 ? 'R' : 'A');
  };

  std::map<IndexState, int> tally;
  for (int32_t at : {40, 400, 1500}) {
    SCOPED_TRACE("killed once record " + std::to_string(at) + " is appended");
    testsupport::WriteFileBytes(table_, tableBytes);
    testsupport::WriteFileBytes(index_, indexBytes);
    testsupport::Child child([&](testsupport::ChildChannel& channel) {
      Select(1);
      Use(table_ + " EXCLUSIVE", nullptr, 0);
      if (CurrentWorkArea() == nullptr || !SetIndexTo(index_)) return 1;
      for (int32_t r = 6; r < 1000000; ++r) {
        const std::string image = RecordImage(r, 'A');
        WorkArea* a = CurrentWorkArea();
        a->Table.RecordBuffer.assign(image.begin(), image.end());
        RecordToTyped(a->Table, a->Typed);
        Append();
        if (Errors.DbfError != 0) return 2;
        if (r % 20 == 0 && !channel.WriteLine(std::to_string(r))) return 3;
      }
      return 0;
    });
    ASSERT_TRUE(child.started());
    const int32_t written = AwaitCount(child, at);
    ASSERT_GT(written, 0) << "the child stopped appending";
    Kill(child);

    const int32_t held = ExpectTableHolds(table_, written, 1000000, appended);
    const std::vector<std::string> records = StoredRecords(table_);
    ASSERT_EQ(records.size(), static_cast<size_t>(held));
    // The last record may have been written without its keys.
    std::string why;
    const IndexState state = InspectIndex(table_, index_, records, held, scratch_, why);
    ++tally[state];
    if (state != IndexState::kInStep)
      std::printf("killed once record %d was appended: index %s (%s)\n", at, StateName(state),
                  why.c_str());
    ExpectRebuiltInStep(table_, index_, records, scratch_);
  }
  RecordProperty("index_states", TallyText(tally));
}

}  // namespace
}  // namespace faulttest

// Fuzz entry: a delimited text appended into the fixed import table of fixture_tables.h (every
// field type). The first byte of the input chooses the conventions the values are read in; the
// remaining bytes are the text file:
//   bit 0      decimal comma and thousands point (else decimal point and thousands comma)
//   bits 1..4  the date convention (modulo 9)
//   bit 5      century on
//   bit 6      ANSI tables (else OEM translation)
//   bit 7      the text follows so many empty lines that the reader's buffer ends in its middle
//              (lines, values and line ends are then cut by a refill wherever the text puts them)
// The text is imported three times into a fresh table: exclusive with errors raised, and shared
// under the append lock with errors recorded (both append many records at a time), and shared
// under the append lock with an index open (one record at a time, keys maintained). Every record
// is read back.
//
// Besides the sanitizers' checks the entry aborts when the three imports do not give the same
// table bytes, when the import reports other counts than the records the table gained, when the
// progress window is stepped more than 100 times or not closed, or when the index walk does not
// visit every imported record exactly once.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/locks.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/dates.h"
#include "engine/util/startup.h"
#include "tests/fuzz/targets/fixture_tables.h"
#include "tests/fuzz/targets/fuzz_env.h"
#include "tests/fuzz/targets/fuzz_targets.h"

namespace fuzz {

namespace {

using namespace morvane;

volatile uint8_t gSink;

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "agemill fuzz: %s\n", what);
  std::abort();
}

// The empty import table and its memo file as bytes, built once.
struct TableFiles {
  std::vector<uint8_t> Table, Memo;
};
const TableFiles& EmptyTable() {
  static const TableFiles files = [] {
    const std::string path = ScratchFile("imbuild.dbf");
    StartEngine(ErrorMode::kRaised);
    Guarded([&] { WriteImportTable(path); });
    StopEngine();
    TableFiles f{ReadScratch(path), ReadScratch(ScratchFile("imbuild.dbt"))};
    RemoveScratch(path);
    RemoveScratch(ScratchFile("imbuild.dbt"));
    if (f.Table.empty() || f.Memo.empty()) std::abort();
    return f;
  }();
  return files;
}

// The progress window's calls during one import.
struct ProgressCalls {
  int Opened = 0, Steps = 0, Closed = 0;
};
ProgressCalls gProgress;

void InstallProgress() {
  gProgress = {};
  ProgressHooks.Open = [](const std::string&) { ++gProgress.Opened; };
  ProgressHooks.Step = [] { ++gProgress.Steps; };
  ProgressHooks.Close = [] { ++gProgress.Closed; };
}

void ApplyConventions(uint8_t variant) {
  const bool comma = (variant & 1) != 0;
  Settings.DecimalSeparator = comma ? ',' : '.';
  Settings.ThousandSeparator = comma ? '.' : ',';
  SetDateConvention(((variant >> 1) & 0x0F) % 9);
  SetCenturyOn((variant & 0x20) != 0);
  WorkAreas.TableLanguage = (variant & 0x40) != 0 ? tlAnsi : tlOem;
}

// Reads every record and every field of the current table, raw and typed.
void ReadBack() {
  int32_t count = 0;
  Guarded([&] { count = RecCount(); });
  const int fields = FieldCount();
  for (int32_t r = 1; r <= count; ++r) {
    Guarded([&] {
      Go(r);
      WorkArea* a = CurrentWorkArea();
      for (int i = 1; i <= fields; ++i) {
        const uint8_t* slot = FieldAddress(i);
        if (slot != nullptr)
          gSink = Touch(slot, TypedSlotSize(a->Table.Fields[static_cast<size_t>(i - 1)]));
        const std::string raw = Peek(i, r);
        gSink = Touch(raw.data(), raw.size());
      }
    });
  }
}

// Walks the index from the top: every record must come exactly once.
void CheckIndexWalk(int32_t count) {
  std::vector<bool> seen(static_cast<size_t>(count) + 1, false);
  Guarded([&] {
    GoTop();
    int32_t steps = 0;
    while (!dEOF()) {
      const int32_t r = RecNo();
      if (r < 1 || r > count || seen[static_cast<size_t>(r)] || ++steps > count)
        Finding("the index walk visits a record twice or one that is not there");
      seen[static_cast<size_t>(r)] = true;
      Skip(1);
    }
    if (steps != count) Finding("the index walk misses imported records");
  });
}

enum class Way { kExclusive, kShared, kIndexed };

// The table file after the import (closed).
std::vector<uint8_t> Import(uint8_t variant, const std::string& text, Way way) {
  const std::string table = ScratchFile("im.dbf");
  const std::string source = ScratchFile("im.txt");
  const TableFiles& empty = EmptyTable();
  WriteScratch(table, empty.Table.data(), empty.Table.size());
  WriteScratch(ScratchFile("im.dbt"), empty.Memo.data(), empty.Memo.size());
  WriteScratch(source, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  RemoveScratch(ScratchFile("im.mdx"));

  StartEngine(way == Way::kExclusive ? ErrorMode::kRaised : ErrorMode::kRecorded);
  ApplyConventions(variant);
  Guarded([&] {
    Select(1);
    Use(table + (way == Way::kExclusive ? " EXCLUSIVE" : ""), nullptr, 0);
  });
  if (CurrentWorkArea() == nullptr) std::abort();  // the fixed table must open
  if (way == Way::kIndexed) {
    IndexTagDef byName;
    byName.TagName = "NAMECODE";
    byName.KeyExpr = "name + code";
    IndexTagDef byPop;
    byPop.TagName = "POP";
    byPop.KeyExpr = "pop";
    byPop.Descending = true;
    Guarded([&] {
      if (MakeIndexAndSet({byName, byPop}, "") != 1) std::abort();
    });
  }
  if (way != Way::kExclusive && !ALock()) std::abort();
  InstallProgress();
  DelimitedImportResult counts;
  bool raised = true;
  Guarded([&] {
    counts = AppendFromDelimited(source, true);
    raised = false;
  });
  // No text is an error: every line is a record, whatever its values.
  if (raised || !counts.Opened) Finding("the import of a text reported an engine error");
  if (gProgress.Opened != gProgress.Closed || gProgress.Opened > 1 || gProgress.Steps > 100)
    Finding("the progress window was not used as one window of 100 steps");
  int32_t count = -1;
  Guarded([&] { count = RecCount(); });
  if (count != counts.Appended || counts.FailedLines != 0)
    Finding("the import's counts are not the records the table gained");
  if (way != Way::kExclusive) Guarded([] { Unlock(); });
  if (way == Way::kIndexed) {
    CheckIndexWalk(count);
    Guarded([] { SetOrderToTag("POP"); });
    CheckIndexWalk(count);
  }
  ReadBack();
  Guarded([] { CloseArea(); });
  StopEngine();
  return ReadScratch(table);
}

// The table bytes without the date of the last update (bytes 1..3) and the production index
// flag (byte 28, set by the index the third import builds).
std::vector<uint8_t> WithoutStamps(std::vector<uint8_t> bytes) {
  for (size_t i : {1, 2, 3, 28})
    if (i < bytes.size()) bytes[i] = 0;
  return bytes;
}

// Ends the run when the table bytes Got differ from Expected, naming the first difference.
void CheckSame(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& got,
               const char* what) {
  if (got == expected) return;
  size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  std::fprintf(stderr, "agemill fuzz: table of %zu bytes against %zu; first difference at %zu\n",
               got.size(), expected.size(), at);
  Finding(what);
}

}  // namespace

int FuzzDelimitedImport(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t variant = data[0];
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((variant & 0x80) != 0) {
    // Empty lines add no records; the text's middle falls on the end of the first buffer.
    const size_t filler = kImportBufferSize - std::min(text.size() / 2, kImportBufferSize);
    text.insert(0, filler, '\n');
  }
  const std::vector<uint8_t> exclusive = Import(variant, text, Way::kExclusive);
  const std::vector<uint8_t> shared = Import(variant, text, Way::kShared);
  const std::vector<uint8_t> indexed = Import(variant, text, Way::kIndexed);
  const std::vector<uint8_t> reference = WithoutStamps(exclusive);
  CheckSame(reference, WithoutStamps(shared), "the import into the shared table gave other bytes");
  CheckSame(reference, WithoutStamps(indexed),
            "appending one record at a time (index open) gave other bytes than many at a time");
  return 0;
}

}  // namespace fuzz

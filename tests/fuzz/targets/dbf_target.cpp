// Fuzz entry: a DBF file, read through the table layer and through a work area.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/workarea.h"
#include "tests/fuzz/targets/fuzz_env.h"
#include "tests/fuzz/targets/fuzz_targets.h"

namespace fuzz {

namespace {

using namespace morvane;

volatile uint8_t gSink;  // keeps the reads of Touch

// Ends the run as a finding: a loop over the records went on longer than the file can hold.
[[noreturn]] void Runaway(const char* where) {
  std::fprintf(stderr, "agemill fuzz: %s did not reach the end of the table\n", where);
  std::abort();
}

// The most records any loop over this file may visit (every record, plus the end position).
int64_t RecordBound(int64_t fileSize, uint16_t recordLength) {
  return fileSize / (recordLength == 0 ? 1 : recordLength) + 2;
}

// Opens the file through the table layer, reads every record, decodes it into a typed record
// and encodes it back (in memory only), then closes it.
void ReadTableLayer(const std::string& path, int64_t fileSize, bool oem) {
  DbfControlBlock b;
  b.FileName = path;
  b.OemTranslation = oem;
  Guarded([&] {
    Errors.DbfError = 0;
    OpenDbf(b);
    if (Errors.DbfError != 0 || b.State == dsClosed) return;
    std::vector<uint8_t> typed(TypedRecordSize(b));
    const int64_t bound = RecordBound(fileSize, b.RecordLength);
    for (int32_t r = 1; r <= b.RecordCount; ++r) {
      if (r > bound) Runaway("GetDbfRecord");
      GetDbfRecord(b, r);
      if (Errors.DbfError != 0) break;
      RecordToTyped(b, typed.data());
      gSink = Touch(typed.data(), typed.size());
      TypedToRecord(b, typed.data());
      gSink = Touch(b.Record(), b.RecordLength);
    }
    // Out of range on both sides: reported, nothing read.
    GetDbfRecord(b, 0);
    GetDbfRecord(b, b.RecordCount + 1);
  });
  Guarded([&] { CloseDbf(b); });
}

// Reads the field attributes and typed slots of the current record, then asks for the fields
// just outside the table (each of those is reported, and may raise).
void TouchFields() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr) return;
  const int n = FieldCount();
  gSink = Touch(FieldAddress(0), 1);
  for (int i = 1; i <= n; ++i) {
    const std::string name = Field(i);
    gSink = static_cast<uint8_t>(FieldType(i) + FieldLen(i) + FieldDec(i) + FieldNo(name));
    const uint8_t* slot = FieldAddress(i);
    if (slot != nullptr)
      gSink = Touch(slot, TypedSlotSize(a->Table.Fields[static_cast<size_t>(i - 1)]));
  }
  for (int i : {-1, n + 1}) {
    Guarded([&] { gSink = static_cast<uint8_t>(Field(i).size() + FieldType(i)); });
    Guarded([&] { gSink = static_cast<uint8_t>(FieldAddress(i) != nullptr); });
  }
}

// Skips through the table in steps of Step until an end or an error; aborts when the loop
// visits more positions than the file holds records.
void Walk(int32_t step, int64_t bound, const char* where) {
  int64_t steps = 0;
  while (!(step > 0 ? dEOF() : dBOF())) {
    if (++steps > bound) Runaway(where);
    TouchFields();
    Skip(step);
    if (Errors.DbfError != 0) break;
  }
}

// Opens the file in a work area and moves through it in every way the command layer offers.
void ReadWorkArea(const std::string& path, int64_t fileSize, bool exclusive) {
  Guarded([&] {
    Select(1);
    Use(path + (exclusive ? " EXCLUSIVE" : "") + " ALIAS FUZZ", nullptr, 0);
    WorkArea* a = CurrentWorkArea();
    if (Errors.DbfError != 0 || a == nullptr) return;
    const int64_t bound = RecordBound(fileSize, a->Table.RecordLength);
    Guarded([&] {
      GoTop();
      Walk(1, bound, "Skip(1)");
    });
    Guarded([&] {
      GoBottom();
      Walk(-1, bound, "Skip(-1)");
    });
    Guarded([&] {
      const int32_t count = RecCount();
      for (int32_t n : {1, count, count + 1, 0, -1}) {
        Guarded([&] { Go(n); });
        Guarded([&] { RawGo(n); });
        Guarded([&] { TouchFields(); });
      }
    });
    Guarded([&] {
      SetIgnoreDel(true);
      GoTop();
      Walk(1, bound, "Skip(1) without deleted records");
      GoBottom();
      Skip(-3);
      Skip(0);
      TouchFields();
    });
  });
  Guarded([] { CloseArea(); });
}

// Rewrites record 1 with itself, appends a blank record and marks it deleted, closes, and reads
// the table again. (Every write lands on a record that was read or at the end of the file.)
void WriteAndReread(const std::string& path, int64_t fileSize) {
  DbfControlBlock b;
  b.FileName = path;
  int64_t recordLength = 0;
  Guarded([&] {
    OpenDbf(b);
    if (Errors.DbfError != 0 || b.State == dsClosed) return;
    recordLength = b.RecordLength;
    if (b.RecordCount >= 1) {
      GetDbfRecord(b, 1);
      if (Errors.DbfError == 0) PutDbfRecord(b, 1);
    }
    std::fill(b.RecordBuffer.begin(), b.RecordBuffer.end(), ' ');
    Errors.DbfError = 0;
    PutDbfRecord(b, b.RecordCount + 1);
    if (Errors.DbfError == 0) {
      b.Record()[0] = '*';
      WriteDeleteFlag(b, b.RecordCount);
    }
    UpdateHeader(b);
  });
  Guarded([&] { CloseDbf(b); });
  // The file grew by at most one record and the end mark.
  ReadTableLayer(path, fileSize + recordLength + 1, false);
}

}  // namespace

int FuzzDbfTable(const uint8_t* data, size_t size) {
  const std::string path = ScratchFile("t.dbf");
  WriteScratch(path, data, size);
  const int64_t fileSize = static_cast<int64_t>(size);

  struct Pass {
    ErrorMode mode;
    bool recount;    // the record count from the file size
    bool exclusive;  // the work area opens the table exclusive (its count is the header's)
    bool oem;
  };
  for (const Pass& p : {Pass{ErrorMode::kRaised, false, true, true},
                        Pass{ErrorMode::kRecorded, false, false, false},
                        Pass{ErrorMode::kRecorded, true, true, true}}) {
    StartEngine(p.mode);
    DbfSettings.RecountOnOpen = p.recount;
    WorkAreas.TableLanguage = p.oem ? tlOem : tlAnsi;
    ReadTableLayer(path, fileSize, p.oem);
    ReadWorkArea(path, fileSize, p.exclusive);
    StopEngine();
  }

  StartEngine(ErrorMode::kRecorded);
  WriteAndReread(path, fileSize);
  StopEngine();
  return 0;
}

}  // namespace fuzz

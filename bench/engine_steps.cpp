// The engine's steps of agemill_bench: dataset creation as the application does it (a new table
// of the AX layout, the delimited import of the work file, the key fields record by record, the
// index), then random lookups and the full reads through the work-area layer. Error checking is
// off so that an engine error is printed and the step fails instead of halting.
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/ax_layout.h"
#include "bench/bench_steps.h"
#include "bench/step_process.h"
#include "engine/dbf/bulk.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace axbench {

namespace {

// Engine start-up and shut-down around one step.
class Engine {
 public:
  Engine() {
    morvane::EngineStartup();
    morvane::SetErrorCheck(false);
  }
  ~Engine() { morvane::EngineShutdown(); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
};

// False, with the engine's error printed, when the last engine operation failed.
bool EngineOk(const char* What) {
  if (morvane::Errors.DbfError == 0) return true;
  std::fprintf(stderr, "agemill_bench: %s: %s\n", What, morvane::ErrorReport().c_str());
  return false;
}

// Opens the benchmark table for exclusive use, as the application opens a dataset.
bool OpenTable(const BenchPaths& P) {
  morvane::Use(P.Table + " EXCLUSIVE", nullptr, 0);
  return EngineOk("open the table");
}

// The text in a character field's slot of the current typed record (its full width).
std::string_view SlotText(int Field) {
  const uint8_t* slot = morvane::FieldAddress(Field);
  if (slot == nullptr) return {};
  return {reinterpret_cast<const char*>(slot + 1), slot[0]};
}

// Stores Value in field Field of the current typed record.
void SetText(int Field, std::string_view Value) {
  morvane::WorkArea* area = morvane::CurrentWorkArea();
  morvane::StoreValueText(area->Table.Fields[static_cast<size_t>(Field - 1)], area->Typed, Value);
}

// The current record's index key: sumlev + geocode + race.
std::string CurrentKey() {
  std::string key(SlotText(kSumlevField));
  key += SlotText(kGeocodeField);
  key += SlotText(kRaceField);
  return key;
}

long MaxRssKB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int StepEngineImport(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Engine engine;
  std::remove(P.Table.c_str());
  std::remove(P.Index.c_str());
  const int64_t start = NowNanoseconds();
  {
    morvane::DbfControlBlock scratch;
    morvane::CreateDbf(scratch, P.Table, AxFields());
    if (!EngineOk("create the table")) return 1;
  }
  if (!OpenTable(P)) return 1;
  const morvane::DelimitedImportResult r = morvane::AppendFromDelimited(P.WorkFile, false);
  if (!EngineOk("import")) return 1;
  morvane::CloseArea();
  if (!EngineOk("close the table")) return 1;
  const double seconds = SecondsSince(start);
  if (!r.Opened) {
    std::fprintf(stderr, "agemill_bench: import: cannot open %s\n", P.WorkFile.c_str());
    return 1;
  }
  PutFigure("seconds", seconds);
  PutFigure("records", r.Appended);
  PutFigure("failed lines", r.FailedLines);
  PutFigure("bytes", static_cast<double>(FileBytes(P.Table)));
  return r.Appended == O.Areas * kIterations && r.FailedLines == 0 ? 0 : 1;
}

int StepEngineKeys(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Engine engine;
  if (!OpenTable(P)) return 1;
  const int64_t start = NowNanoseconds();
  long records = 0;
  std::string geocode;
  for (morvane::GoTop(); !morvane::dEOF(); morvane::Skip(1), ++records) {
    const char race = RaceOfRecord(records, O.Areas);
    SetText(kRaceField, std::string_view(&race, 1));
    geocode = SlotText(kGeocodeField);
    while (!geocode.empty() && geocode.back() == ' ') geocode.pop_back();
    if (geocode.size() < static_cast<size_t>(kGeocodeWidth)) geocode.resize(kGeocodeWidth, '.');
    SetText(kGeocodeField, geocode);
    SetText(kSumlevField, SlotText(kId1Field).substr(0, 3));
    morvane::Replace();
    if (!EngineOk("Replace")) return 1;
  }
  morvane::CloseArea();
  if (!EngineOk("close the table")) return 1;
  PutFigure("seconds", SecondsSince(start));
  PutFigure("records", records);
  return records == O.Areas * kIterations ? 0 : 1;
}

int StepEngineIndex(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Engine engine;
  if (!OpenTable(P)) return 1;
  const long before = MaxRssKB();
  const int64_t start = NowNanoseconds();
  const int built = morvane::IndexOn(kKeyExpr, P.Index);
  if (!EngineOk("IndexOn") || built != 1) return 1;
  const double seconds = SecondsSince(start);
  const long after = MaxRssKB();
  morvane::CloseArea();
  if (!EngineOk("close the table")) return 1;
  PutFigure("seconds", seconds);
  PutFigure("bytes", static_cast<double>(FileBytes(P.Index)));
  PutFigure("growth KB", static_cast<double>(after - before));
  return 0;
}

int StepEngineFind(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Engine engine;
  if (!OpenTable(P)) return 1;
  const int32_t records = morvane::RecCount();
  if (records <= 0) {
    std::fprintf(stderr, "agemill_bench: find: the table is empty\n");
    return 1;
  }
  // Existing keys of random records, taken before the index is opened.
  std::mt19937_64 random(O.Seed);
  std::vector<std::string> keys(65536);
  for (std::string& key : keys) {
    morvane::RawGo(static_cast<int32_t>(random() % static_cast<uint64_t>(records)) + 1);
    key = CurrentKey();
  }
  if (!EngineOk("read the keys")) return 1;
  if (!morvane::SetIndexTo(P.Index)) {
    EngineOk("SetIndexTo");
    return 1;
  }
  long found = 0;
  double total = 0;
  const int64_t start = NowNanoseconds();
  for (long i = 0; i < O.Finds; ++i) {
    morvane::Find(keys[static_cast<size_t>(i) & 65535]);
    if (morvane::IndexFound()) {
      ++found;
      // The total population, as a report reads it: a whole-number field is a 32-bit slot.
      int32_t population;
      std::memcpy(&population, morvane::FieldAddress(kNameField + 1), sizeof population);
      total += population;
    }
  }
  const double seconds = SecondsSince(start);
  if (!EngineOk("Find")) return 1;
  morvane::CloseArea();
  PutFigure("seconds", seconds);
  PutFigure("calls", static_cast<double>(O.Finds));
  PutFigure("found", static_cast<double>(found));
  PutFigure("checksum", total);
  return found == O.Finds ? 0 : 1;
}

int StepEngineRead(const StepOptions& O) {
  const BenchPaths P(O.Dir);
  Engine engine;
  if (!OpenTable(P)) return 1;
  if (O.Order == "index" && !morvane::SetIndexTo(P.Index)) {
    EngineOk("SetIndexTo");
    return 1;
  }
  long records = 0;
  uint64_t checksum = 0;
  const int64_t start = NowNanoseconds();
  for (morvane::GoTop(); !morvane::dEOF(); morvane::Skip(1)) {
    ++records;
    for (int field : {kSumlevField, kGeocodeField, kNameField, kRaceField}) {
      const std::string_view text = SlotText(field);
      checksum += text.size() + (text.empty() ? 0 : static_cast<unsigned char>(text[0]));
    }
  }
  const double seconds = SecondsSince(start);
  if (!EngineOk("read")) return 1;
  morvane::CloseArea();
  PutFigure("seconds", seconds);
  PutFigure("records", records);
  PutFigure("checksum", static_cast<double>(checksum));
  return records == O.Areas * kIterations ? 0 : 1;
}

}  // namespace axbench

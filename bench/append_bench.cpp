// append_bench: appends per second to an AX-layout table (214 fields, about 2 KB a record) with
// its "sumlev + geocode + race" index open, keys in shuffled area order so that insertions land
// all over the tree; the same without an index for comparison. Every append goes through the
// command layer (Append), which keeps the open index in step.
//
//   append_bench [--records N] [--shared] [--dir PATH]
//
// --shared opens the table shared (the append lock and the index semaphore are then taken per
// append). Files go to a fresh folder in the temporary folder (or PATH) and are removed
// afterwards. Figures are printed as "key: value" lines.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/ax_layout.h"
#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

const char* const kSumlev[] = {"040", "050", "140"};

void Put(int Field, const std::string& Text) {
  morvane::WorkArea& a = *morvane::CurrentWorkArea();
  const morvane::FieldDescriptor& f = a.Table.Fields[static_cast<size_t>(Field - 1)];
  morvane::StoreValueText(f, a.Typed, Text);
}

// Appends Records records; the seconds taken, or a negative value after an engine error.
double AppendAll(long Records, bool Shared) {
  const long areas = (Records + 8) / 9;
  const Clock::time_point start = Clock::now();
  for (long r = 0; r < Records; ++r) {
    const long area = r / 9;
    char geocode[32];
    std::snprintf(geocode, sizeof geocode, "%011ld", (area * 7919 + 13) % std::max(areas, 1L));
    morvane::ClearRecord();
    Put(axbench::kGeocodeField, geocode);
    Put(axbench::kSumlevField, kSumlev[area % 3]);
    Put(axbench::kRaceField, std::string(1, axbench::kRaceCodes[r % 9]));
    if (Shared && !morvane::ALock()) return -1;
    morvane::Append();
    if (Shared) morvane::Unlock();
    if (morvane::Errors.DbfError != 0) return -1;
  }
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  long records = 20000;
  bool shared = false;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--records" && i + 1 < argc) {
      records = std::atol(argv[++i]);
    } else if (a == "--shared") {
      shared = true;
    } else if (a == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: append_bench [--records N] [--shared] [--dir PATH]\n");
      return 2;
    }
  }
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/append-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    dir = pattern;
  }
  morvane::EngineStartup();
  morvane::SetErrorCheck(false);
  double seconds[2] = {0, 0};
  for (int withIndex = 0; withIndex < 2; ++withIndex) {
    const std::string table = dir + (withIndex ? "/indexed.dbf" : "/plain.dbf");
    morvane::DbfControlBlock b;
    morvane::CreateDbf(b, table, axbench::AxFields());
    morvane::Select(1);
    morvane::Use(table + (shared ? "" : " EXCLUSIVE"), nullptr, 0);
    if (withIndex && !morvane::MakeIndexAndSet({{"AX", axbench::kKeyExpr, "", false, false}}, "")) {
      std::fprintf(stderr, "index: %s\n", morvane::Errors.ErrorDetail.c_str());
      return 1;
    }
    morvane::Set_Order_To(0);
    seconds[withIndex] = AppendAll(records, shared);
    if (seconds[withIndex] < 0) {
      std::fprintf(stderr, "append: %s\n", morvane::Errors.ErrorDetail.c_str());
      return 1;
    }
    morvane::CloseAll();
    std::remove(table.c_str());
    if (withIndex) std::remove((dir + "/indexed.mdx").c_str());
  }
  morvane::EngineShutdown();
  rmdir(dir.c_str());
  std::printf("records: %ld\nshared: %s\n", records, shared ? "yes" : "no");
  std::printf("appends per second (no index): %.0f\n", records / seconds[0]);
  std::printf("appends per second (AX index open): %.0f\n", records / seconds[1]);
  return 0;
}

// index_bench: building the "sumlev + geocode + race" index of an AX-layout table (214 fields,
// about 2 KB a record; nine records per area, areas in shuffled order so that the build really
// sorts) and random Find calls on it, the way the application looks areas up.
//
//   index_bench [--records N] [--finds N] [--table PATH] [--keep]
//
// Without --table the table is written to the temporary folder (and removed afterwards unless
// --keep). Figures are printed as "key: value" lines.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/ax_layout.h"
#include "engine/dbf/workarea.h"
#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

const char* const kSumlev[] = {"040", "050", "140"};

// The geocode of area A: a shuffled numbering, so that table order is not key order.
long AreaCode(long A, long Areas) { return (A * 7919 + 13) % std::max(Areas, 1L); }

std::string KeyOf(long Record, long Areas) {
  const long area = Record / 9;
  char text[32];
  std::snprintf(text, sizeof text, "%s%011ld%c", kSumlev[area % 3], AreaCode(area, Areas), axbench::kRaceCodes[Record % 9]);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  long records = 660000;
  long finds = 1000000;
  std::string table;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--finds") == 0 && i + 1 < argc) {
      finds = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--table") == 0 && i + 1 < argc) {
      table = argv[++i];
    } else if (std::strcmp(argv[i], "--keep") == 0) {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: index_bench [--records N] [--finds N] [--table PATH] [--keep]\n");
      return 64;
    }
  }
  morvane::EngineStartup();
  morvane::SetErrorCheck(false);
  const bool made = table.empty();
  if (made) {
    const char* tmp = std::getenv("TMPDIR");
    table = std::string(tmp && *tmp ? tmp : "/tmp") + "/index_bench_" + std::to_string(getpid()) + ".dbf";
    const Clock::time_point start = Clock::now();
    if (!axbench::WriteAxTable(table, records, [&](long r) { return KeyOf(r, (records + 8) / 9); })) {
      std::fprintf(stderr, "index_bench: cannot write %s: %s\n", table.c_str(), morvane::ErrorReport().c_str());
      return 1;
    }
    std::printf("write seconds: %.3f\n", Seconds(start));
  }
  std::printf("table: %s\n", table.c_str());
  morvane::Use(table + " EXCLUSIVE", nullptr, 0);
  records = morvane::RecCount();
  std::printf("records: %ld\nrecord length: %d\n", records, morvane::RecSize());

  const std::string index = morvane::ForceExtension(table, "mdx");
  {
    const Clock::time_point start = Clock::now();
    const bool built = morvane::MakeIndex({{"dummy_tag", axbench::kKeyExpr, "", false, false}}, index);
    const double s = Seconds(start);
    if (!built) {
      std::fprintf(stderr, "index_bench: build failed: %s\n", morvane::ErrorReport().c_str());
      return 1;
    }
    std::printf("index build seconds: %.3f\n", s);
    std::printf("index build records per second: %.0f\n", records / s);
  }
  if (!morvane::SetIndexTo(index)) {
    std::fprintf(stderr, "index_bench: cannot open the index: %s\n", morvane::ErrorReport().c_str());
    return 1;
  }

  // Random lookups of existing keys, as the report tables make them.
  const long areas = (records + 8) / 9;
  std::vector<std::string> keys;
  std::mt19937 random(42);
  keys.reserve(65536);
  for (int i = 0; i < 65536; ++i) keys.push_back(KeyOf(static_cast<long>(random() % records), areas));
  long found = 0;
  const Clock::time_point start = Clock::now();
  for (long i = 0; i < finds; ++i) {
    morvane::Find(keys[static_cast<size_t>(i) & 65535]);
    found += morvane::IndexFound() ? 1 : 0;
  }
  const double s = Seconds(start);
  std::printf("finds: %ld (found %ld)\nfind seconds: %.3f\nfinds per second: %.0f\n", finds, found, s, finds / s);

  // The index's own part of a Find: the seek down the tree to the key's leaf item.
  {
    morvane::IndexBlock& block = *morvane::CurrentWorkArea()->Index;
    morvane::IndexTag& tag = *block.Controlling();
    const Clock::time_point from = Clock::now();
    long hits = 0;
    for (long i = 0; i < finds; ++i) {
      const std::string& k = keys[static_cast<size_t>(i) & 65535];
      hits += morvane::ndx::Seek(block, tag, reinterpret_cast<const uint8_t*>(k.data())).Found ? 1 : 0;
    }
    const double r = Seconds(from);
    std::printf("index seeks per second: %.0f (found %ld)\n", finds / r, hits);
  }

  // What positioning on a record costs by itself (read, code-page translation, typed record),
  // for the same number of random records: the floor under every Find.
  {
    std::vector<int32_t> numbers;
    for (int i = 0; i < 65536; ++i) numbers.push_back(static_cast<int32_t>(random() % records) + 1);
    const Clock::time_point from = Clock::now();
    for (long i = 0; i < finds; ++i) morvane::RawGo(numbers[static_cast<size_t>(i) & 65535]);
    const double r = Seconds(from);
    std::printf("record reads (RawGo) per second: %.0f\n", finds / r);
  }
  morvane::CloseArea();
  morvane::EngineShutdown();
  if (made && !keep) {
    std::remove(table.c_str());
    std::remove(index.c_str());
  }
  return found == finds ? 0 : 1;
}

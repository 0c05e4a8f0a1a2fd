// dump_bench: the time `morvane dump` takes for a table of the AX layout (214 fields: id1,
// geocode, name, 209 numeric cells, sumlev, race; about 2 KB a record), and the engine's own
// read loop (GoTop / Skip with the typed record) on the same table.
//
//   dump_bench [--records N] [--table PATH] [--keep]
//
// Without --table the table is written to a fresh file in the temporary folder (and removed
// afterwards unless --keep). Figures are printed as "key: value" lines.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ax_layout.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The key of record r: tracts in table order, nine iterations each.
std::string KeyOf(long r) {
  char text[32];
  std::snprintf(text, sizeof text, "140%011ld%c", r / axbench::kIterations, axbench::kRaceCodes[r % axbench::kIterations]);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  long records = 200000;
  std::string table;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
      records = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--table") == 0 && i + 1 < argc) {
      table = argv[++i];
    } else if (std::strcmp(argv[i], "--keep") == 0) {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: dump_bench [--records N] [--table PATH] [--keep]\n");
      return 64;
    }
  }
  morvane::EngineStartup();
  morvane::SetErrorCheck(false);
  const bool made = table.empty();
  if (made) {
    const char* tmp = std::getenv("TMPDIR");
    table = std::string(tmp && *tmp ? tmp : "/tmp") + "/dump_bench_" + std::to_string(getpid()) + ".dbf";
  }

  if (made) {
    Clock::time_point start = Clock::now();
    if (!axbench::WriteAxTable(table, records, KeyOf)) {
      std::fprintf(stderr, "dump_bench: cannot write %s: %s\n", table.c_str(),
                   morvane::ErrorReport().c_str());
      return 1;
    }
    std::printf("write seconds: %.3f\n", Seconds(start));
  }
  std::printf("table: %s\n", table.c_str());

  // The engine's read loop: every record read and converted to the typed record.
  {
    Clock::time_point start = Clock::now();
    morvane::Use(table, nullptr, 0);
    const int recordLength = morvane::RecSize();
    long n = 0;
    for (morvane::GoTop(); !morvane::dEOF(); morvane::Skip(1)) ++n;
    morvane::CloseArea();
    const double s = Seconds(start);
    std::printf("records: %ld\nrecord length: %d\nengine read seconds: %.3f\n", n, recordLength,
                s);
    std::printf("engine records per second: %.0f\n", n / s);
  }

  // morvane dump, output to /dev/null.
  {
    const std::string command = std::string("'") + MORVANE_PATH + "' dump '" + table + "' > /dev/null";
    Clock::time_point start = Clock::now();
    const int status = std::system(command.c_str());
    const double s = Seconds(start);
    std::printf("morvane dump seconds: %.3f (exit %d)\n", s, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  morvane::EngineShutdown();
  if (made && !keep) std::remove(table.c_str());
  return 0;
}

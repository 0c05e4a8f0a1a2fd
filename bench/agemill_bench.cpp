// agemill_bench: the engine on the users' real workload (every census tract: nine PCT12 files of
// 73,000 lines each) next to SQLite doing the same work and next to the machine's limit (reading
// and writing the same bytes), all measured in one run so that the ratios hold on a busy machine.
//
//   agemill_bench [--quick] [--areas N] [--finds N] [--repeat N] [--seed S] [--dir DIR] [--keep]
//
// It writes the synthetic input with factfinder-sample, then runs every step in a process of
// its own (this program again, with --step) so that each step's peak memory is its own, and
// prints one table. Steps that are compared run next to each other; the page cache is flushed
// (sync) before each step so that no step pays for the previous one's writes. Exit status: 0
// when every step succeeded, 1 when one failed (its row says so), 2 for a wrong command line.
#include <sys/statvfs.h>
#include <unistd.h>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/ax_layout.h"
#include "bench/bench_report.h"
#include "bench/bench_steps.h"
#include "bench/step_process.h"

namespace {

using namespace axbench;

constexpr const char* kUsage =
    "usage: agemill_bench [--quick] [--areas N] [--finds N] [--repeat N] [--seed S] [--dir DIR]\n"
    "                     [--keep]\n"
    "Measures dataset creation (delimited import, key fields, index build), random Find and\n"
    "full reads on a synthetic census-tract workload, beside SQLite and the machine's limit.\n"
    "  --quick      a small workload (5,000 areas, 200,000 lookups) to try it out\n"
    "  --areas N    areas per iteration file (default 73,000: every census tract)\n"
    "  --finds N    random lookups to time (default 1,000,000)\n"
    "  --repeat N   run each timed step N times and keep the fastest (default 1)\n"
    "  --seed S     seed of the sample data and of the lookups (default 1)\n"
    "  --dir DIR    work in DIR (created if missing) instead of a new temporary folder\n"
    "  --keep       leave the files behind\n";

struct Options {
  bool Quick = false;
  long Areas = -1;
  long Finds = -1;
  int Repeat = 1;
  uint64_t Seed = 1;
  std::string Dir;
  bool Keep = false;
  std::string Step;  // internal: run this one step
  StepOptions StepArgs;
};

bool ParseNumber(const char* Text, long Min, long& Value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(Text, &end, 10);
  if (end == Text || *end != '\0' || errno != 0 || v < Min) return false;
  Value = v;
  return true;
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    long n = 0;
    auto number = [&](long min, long& target) {
      if (!hasValue || !ParseNumber(argv[++i], min, n)) {
        error = arg + " needs a whole number of at least " + std::to_string(min);
        return false;
      }
      target = n;
      return true;
    };
    if (arg == "--quick") {
      o.Quick = true;
    } else if (arg == "--keep") {
      o.Keep = true;
    } else if (arg == "--fsync") {
      o.StepArgs.Fsync = true;
    } else if (arg == "--areas") {
      if (!number(1, o.Areas)) return false;
    } else if (arg == "--finds") {
      if (!number(1, o.Finds)) return false;
    } else if (arg == "--repeat") {
      long r;
      if (!number(1, r)) return false;
      o.Repeat = static_cast<int>(std::min(r, 100L));
    } else if (arg == "--seed") {
      long s;
      if (!number(0, s)) return false;
      o.Seed = static_cast<uint64_t>(s);
    } else if (arg == "--write-bytes") {
      long w;
      if (!number(0, w)) return false;
      o.StepArgs.WriteBytes = static_cast<uint64_t>(w);
    } else if ((arg == "--dir" || arg == "--step" || arg == "--order" || arg == "--read") && hasValue) {
      std::string& target = arg == "--dir" ? o.Dir : arg == "--step" ? o.Step
                            : arg == "--order" ? o.StepArgs.Order : o.StepArgs.ReadFile;
      target = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else {
      error = "unknown argument \"" + arg + "\"";
      return false;
    }
  }
  if (o.Areas < 0) o.Areas = o.Quick ? 5000 : 73000;
  if (o.Finds < 0) o.Finds = o.Quick ? 200000 : 1000000;
  return true;
}

// Runs one step of this program in its own process.
int RunStep(const Options& o) {
  StepOptions s = o.StepArgs;
  s.Dir = o.Dir;
  s.Areas = o.Areas;
  s.Finds = o.Finds;
  s.Seed = o.Seed;
  struct Entry {
    const char* Name;
    int (*Run)(const StepOptions&);
  };
  static const Entry kSteps[] = {
      {"idle", StepIdle},
      {"work-file", StepWorkFile},
      {"limit", StepLimit},
      {"engine-import", StepEngineImport},
      {"engine-keys", StepEngineKeys},
      {"engine-index", StepEngineIndex},
      {"engine-find", StepEngineFind},
      {"engine-read", StepEngineRead},
      {"sqlite-import", StepSqliteImport},
      {"sqlite-index", StepSqliteIndex},
      {"sqlite-find", StepSqliteFind},
      {"sqlite-read", StepSqliteRead},
  };
  for (const Entry& e : kSteps)
    if (o.Step == e.Name) return e.Run(s);
  std::fprintf(stderr, "agemill_bench: unknown step \"%s\"\n", o.Step.c_str());
  return 2;
}

// The whole run: the workload, every step, the table.
class Bench {
 public:
  explicit Bench(const Options& o) : o_(o), self_(SelfPath()), paths_(o.Dir) {}

  int Run() {
    Report report;
    report.Areas = o_.Areas;
    report.Records = o_.Areas * kIterations;
    report.Finds = o_.Finds;
    report.Repeat = o_.Repeat;
    report.SqliteVersion = sqlite3_libversion();
    report.LoadBefore = LoadAverage();

    // The workload.
    Progress("sample files (factfinder-sample)");
    report.Generate = RunProcess(FACTFINDER_SAMPLE_PATH,
                                 {"--areas", std::to_string(o_.Areas), "--level", "140", "--seed",
                                  std::to_string(o_.Seed), "--out", paths_.Template});
    report.Generate.Figures["seconds"] = std::to_string(report.Generate.WallSeconds);
    if (!report.Generate.Ok) return Abort("the sample files could not be written");
    report.Idle = Step("idle", {});
    report.WorkFile = Step("work-file", {});
    if (!report.WorkFile.Ok) return Abort("the work file could not be written");
    report.InputBytes = FileBytes(paths_.WorkFile);

    // Dataset creation: import, then the key fields, then the index.
    report.Import.Ours = Timed("engine-import", {});
    report.TableBytes = FileBytes(paths_.Table);
    const std::string tableBytes = std::to_string(std::max<int64_t>(report.TableBytes, 0));
    report.Import.Limit = Timed("limit", {"--read", paths_.WorkFile, "--write-bytes", tableBytes});
    report.ImportFsync = Timed("limit", {"--read", paths_.WorkFile, "--write-bytes", tableBytes, "--fsync"});
    report.Import.Theirs = Timed("sqlite-import", {});
    report.SqliteBytes = FileBytes(paths_.Sqlite);

    report.Keys.Ours = Timed("engine-keys", {});
    report.Keys.Limit = Timed("limit", {"--read", paths_.Table, "--write-bytes", tableBytes});

    report.Index.Ours = Timed("engine-index", {});
    report.IndexBytes = FileBytes(paths_.Index);
    report.Index.Limit = Timed("limit", {"--read", paths_.Table, "--write-bytes",
                                         std::to_string(std::max<int64_t>(report.IndexBytes, 0))});
    report.Index.Theirs = Timed("sqlite-index", {});

    // Using the dataset.
    report.Find.Ours = Timed("engine-find", {});
    report.Find.Theirs = Timed("sqlite-find", {});
    report.ReadIndex.Ours = Timed("engine-read", {"--order", "index"});
    report.ReadIndex.Theirs = Timed("sqlite-read", {"--order", "index"});
    report.ReadIndex.Limit = Timed("limit", {"--read", paths_.Table});
    report.ReadRecord.Ours = Timed("engine-read", {"--order", "record"});
    report.ReadRecord.Theirs = Timed("sqlite-read", {"--order", "record"});
    report.ReadRecord.Limit = report.ReadIndex.Limit;

    report.LoadAfter = LoadAverage();
    PrintReport(report, stdout);
    return report.AllOk() ? 0 : 1;
  }

 private:
  static void Progress(const std::string& What) { std::fprintf(stderr, "agemill_bench: %s ...\n", What.c_str()); }

  static std::string LoadAverage() {
    double load[3];
    if (getloadavg(load, 3) != 3) return "?";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
  }

  std::vector<std::string> BaseArgs(const std::string& Name) const {
    return {"--step", Name, "--dir", o_.Dir, "--areas", std::to_string(o_.Areas), "--finds",
            std::to_string(o_.Finds), "--seed", std::to_string(o_.Seed)};
  }

  // One run of a step, after the page cache has been written out.
  StepResult Step(const std::string& Name, const std::vector<std::string>& Extra) const {
    sync();
    std::vector<std::string> args = BaseArgs(Name);
    args.insert(args.end(), Extra.begin(), Extra.end());
    StepResult r = RunProcess(self_, args);
    if (!r.Ok) std::fprintf(stderr, "agemill_bench: step %s failed: %s\n", Name.c_str(), r.Failure.c_str());
    return r;
  }

  // The fastest of Repeat runs of a step (the highest peak memory of them). The machine's limit
  // is the best the machine can do: it is taken as the fastest of at least three runs, which
  // cost little next to the steps it is compared with.
  StepResult Timed(const std::string& Name, const std::vector<std::string>& Extra) const {
    std::string label = Name;
    for (const std::string& e : Extra) label += " " + std::filesystem::path(e).filename().string();
    Progress(label);
    const int runs = Name == "limit" ? std::max(o_.Repeat, 3) : o_.Repeat;
    StepResult best;
    for (int i = 0; i < runs; ++i) {
      StepResult r = Step(Name, Extra);
      if (!r.Ok) return r;
      const long peak = std::max(best.PeakKB, r.PeakKB);
      if (i == 0 || r.Number("seconds") < best.Number("seconds")) best = r;
      best.PeakKB = peak;
    }
    return best;
  }

  static int Abort(const char* Why) {
    std::fprintf(stderr, "agemill_bench: %s; no figures\n", Why);
    return 1;
  }

  const Options& o_;
  std::string self_;
  BenchPaths paths_;
};

// Bytes the run needs on disk, with room to spare: the nine files and the work file (about
// 800 bytes a line each), the table and the limit's copy of it (2,007 bytes a record), SQLite's
// database (about 1,100 bytes a row) and the index.
uint64_t SpaceNeeded(long Areas) {
  return static_cast<uint64_t>(Areas) * kIterations * (2 * 800 + 2 * 2007 + 1100 + 100) + (64u << 20);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, o, error)) {
    std::fprintf(stderr, "agemill_bench: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (!o.Step.empty()) {
    if (o.Dir.empty()) {
      std::fprintf(stderr, "agemill_bench: --step needs --dir\n");
      return 2;
    }
    return RunStep(o);
  }

  namespace fs = std::filesystem;
  const bool madeDir = o.Dir.empty();
  if (madeDir) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/agemill-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "agemill_bench: cannot create a folder like %s: %s\n", pattern.c_str(),
                   std::strerror(errno));
      return 1;
    }
    o.Dir = pattern;
  } else {
    std::error_code ec;
    fs::create_directories(o.Dir, ec);
    if (ec) {
      std::fprintf(stderr, "agemill_bench: cannot create %s: %s\n", o.Dir.c_str(), ec.message().c_str());
      return 1;
    }
    o.Dir = fs::absolute(o.Dir).string();
  }
  struct statvfs vfs {};
  const uint64_t needed = SpaceNeeded(o.Areas);
  if (statvfs(o.Dir.c_str(), &vfs) == 0 && static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize < needed) {
    std::fprintf(stderr, "agemill_bench: %s has %llu MB free; this workload needs about %llu MB\n",
                 o.Dir.c_str(), static_cast<unsigned long long>(vfs.f_bavail * vfs.f_frsize >> 20),
                 static_cast<unsigned long long>(needed >> 20));
    if (madeDir) fs::remove_all(o.Dir);
    return 1;
  }

  const int status = Bench(o).Run();

  const BenchPaths p(o.Dir);
  if (o.Keep) {
    std::fprintf(stderr, "agemill_bench: the files are in %s\n", o.Dir.c_str());
  } else {
    for (int it = 0; it < kIterations; ++it) {
      const std::string suffix = it == 0 ? "" : std::string(1, static_cast<char>('a' + it - 1));
      std::remove((p.Template + suffix + ".csv").c_str());
    }
    for (const std::string& f : {p.WorkFile, p.Table, p.Index, p.Sqlite, p.LimitOut}) std::remove(f.c_str());
    if (madeDir) {
      std::error_code ec;
      fs::remove(o.Dir, ec);  // only when empty: nothing but our own files is ever removed
    }
  }
  return status;
}

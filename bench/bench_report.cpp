// Printing the figures of an agemill_bench run: a fixed-width table, then the targets.
#include "bench/bench_report.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace axbench {

namespace {

bool Ran(const StepResult& R) { return R.Ok || !R.Failure.empty(); }

// 1234567 -> "1,234,567".
std::string Grouped(double Value) {
  std::string digits = std::to_string(static_cast<long long>(std::llround(Value)));
  std::string out;
  const size_t lead = digits[0] == '-' ? 1 : 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > lead && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Fixed(double Value, int Decimals) {
  if (!std::isfinite(Value)) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", Decimals, Value);
  return text;
}

std::string Megabytes(int64_t Bytes) { return Bytes < 0 ? "?" : Fixed(static_cast<double>(Bytes) / 1e6, 1) + " MB"; }

double Seconds(const StepResult& R) { return R.Ok ? R.Number("seconds") : std::nan(""); }

// The cell of one side: its time (or lookup rate), "failed", or "-" when it was not run.
std::string Cell(const StepResult& R, bool Rate) {
  if (!Ran(R)) return "-";
  if (!R.Ok) return "failed";
  const double s = Seconds(R);
  if (Rate) return Grouped(R.Number("calls") / s) + "/s";
  return Fixed(s, 2) + " s";
}

std::string Ratio(const StepResult& A, const StepResult& B) {
  const double a = Seconds(A), b = Seconds(B);
  return std::isfinite(a) && std::isfinite(b) && b > 0 ? Fixed(a / b, 2) : "-";
}

std::string Peak(const StepResult& R) { return R.Ok ? Fixed(static_cast<double>(R.PeakKB) / 1024.0, 1) : "-"; }

void Line(std::FILE* Out, const std::string& Label, const std::string& Ours, const std::string& Theirs,
          const std::string& Limit, const std::string& RatioTheirs, const std::string& RatioLimit,
          const std::string& PeakOurs, const std::string& PeakTheirs) {
  std::fprintf(Out, "%-34s %12s %12s %10s %12s %11s %9s %8s\n", Label.c_str(), Ours.c_str(), Theirs.c_str(),
               Limit.c_str(), RatioTheirs.c_str(), RatioLimit.c_str(), PeakOurs.c_str(), PeakTheirs.c_str());
}

void Row(std::FILE* Out, const std::string& Label, const Comparison& C, bool Rate = false) {
  Line(Out, Label, Cell(C.Ours, Rate), Cell(C.Theirs, Rate), Cell(C.Limit, false), Ratio(C.Ours, C.Theirs),
       Ratio(C.Ours, C.Limit), Peak(C.Ours), Peak(C.Theirs));
}

// One line of the targets section: what is asked, the figure, and whether it is met.
void Target(std::FILE* Out, const char* What, const std::string& Figure, double Value, double Bound,
            bool AtLeast) {
  const char* verdict = !std::isfinite(Value) ? "not measured"
                        : (AtLeast ? Value >= Bound : Value <= Bound) ? "met"
                                                                     : "not met";
  std::fprintf(Out, "  %-48s %-32s %s\n", What, Figure.c_str(), verdict);
}

}  // namespace

bool Report::AllOk() const {
  for (const StepResult* r : {&Generate, &Idle, &WorkFile, &ImportFsync}) {
    if (Ran(*r) && !r->Ok) return false;
  }
  for (const Comparison* c : {&Import, &Keys, &Index, &Find, &ReadIndex, &ReadRecord}) {
    for (const StepResult* r : {&c->Ours, &c->Theirs, &c->Limit}) {
      if (Ran(*r) && !r->Ok) return false;
    }
  }
  return true;
}

void PrintReport(const Report& R, std::FILE* Out) {
  std::fprintf(Out, "\nAgemill benchmark: %s census-tract areas x 9 iterations = %s records\n",
               Grouped(static_cast<double>(R.Areas)).c_str(), Grouped(static_cast<double>(R.Records)).c_str());
  std::fprintf(Out, "input %s of CSV lines; table %s; index %s; SQLite database %s\n",
               Megabytes(R.InputBytes).c_str(), Megabytes(R.TableBytes).c_str(), Megabytes(R.IndexBytes).c_str(),
               Megabytes(R.SqliteBytes).c_str());
  std::fprintf(Out, "%ld cores; load average %s at the start, %s at the end; SQLite %s; a bare step process peaks at %s MiB\n",
               sysconf(_SC_NPROCESSORS_ONLN), R.LoadBefore.c_str(), R.LoadAfter.c_str(), R.SqliteVersion.c_str(),
               Peak(R.Idle).c_str());
  std::fprintf(Out, "Times in seconds (lookups per second); ratios are of times: below 1 the engine is faster.\n"
                    "The limit reads the step's input and writes a file of its output's size, without fsync.\n"
                    "Each figure is the fastest of %d run(s), the limit's of %d.\n\n",
               R.Repeat, std::max(R.Repeat, 3));
  Line(Out, "step", "ours", "SQLite", "limit", "ours/SQLite", "ours/limit", "peak MiB", "SQLite");

  const Comparison generate{R.Generate, {}, {}};
  const Comparison work{R.WorkFile, {}, {}};
  Row(Out, "sample files (factfinder-sample)", generate);
  Row(Out, "work file (9 files' data lines)", work);
  Row(Out, "import (AppendFromDelimited)", R.Import);
  Row(Out, "key fields (Replace per record)", R.Keys);

  // Creation as a whole: import plus key fields, against SQLite's one pass.
  Comparison create = R.Import;
  if (R.Import.Ours.Ok && R.Keys.Ours.Ok) {
    create.Ours.Figures["seconds"] = std::to_string(Seconds(R.Import.Ours) + Seconds(R.Keys.Ours));
    create.Ours.PeakKB = std::max(R.Import.Ours.PeakKB, R.Keys.Ours.PeakKB);
  } else {
    create.Ours = R.Import.Ours.Ok ? R.Keys.Ours : R.Import.Ours;
  }
  Row(Out, "creation = import + key fields", create);
  Row(Out, "index build (sumlev+geocode+race)", R.Index);
  Row(Out, "random Find (" + Grouped(static_cast<double>(R.Finds)) + " lookups)", R.Find, true);
  Row(Out, "read every record, index order", R.ReadIndex);
  Row(Out, "read every record, record order", R.ReadRecord);
  const Comparison fsynced{{}, {}, R.ImportFsync};
  Row(Out, "import's limit with fsync", fsynced);

  std::fprintf(Out, "\nTargets\n");
  const double importLimit = Seconds(R.Import.Ours) / Seconds(R.Import.Limit);
  const double importSqlite = Seconds(R.Import.Ours) / Seconds(R.Import.Theirs);
  const double indexSqlite = Seconds(R.Index.Ours) / Seconds(R.Index.Theirs);
  const double finds = R.Find.Ours.Ok ? R.Find.Ours.Number("calls") / Seconds(R.Find.Ours) : std::nan("");
  Target(Out, "import within 3 x the machine's limit", "ours/limit " + Fixed(importLimit, 2), importLimit, 3.0, false);
  Target(Out, "import at most 1/4 of SQLite's time", "ours/SQLite " + Fixed(importSqlite, 2), importSqlite, 0.25,
         false);
  Target(Out, "index build at most SQLite's CREATE INDEX", "ours/SQLite " + Fixed(indexSqlite, 2), indexSqlite,
         1.0, false);
  Target(Out, "at least 200,000 random Find calls a second", std::isfinite(finds) ? Grouped(finds) + "/s" : "-",
         finds, 200000, true);
  // The build's fixed memory is about 0.3 MB (its buffers and one run of 8,189 entries); a
  // build that kept every key in memory would grow by the whole sort, records x (key + 4).
  const double growth = R.Index.Ours.Ok ? R.Index.Ours.Number("growth KB") / 1024.0 : std::nan("");
  const double allKeys = static_cast<double>(R.Records) * (15 + 4) / (1024.0 * 1024.0);
  Target(Out, "index build memory fixed (at most 1 MiB more)",
         "grew " + Fixed(growth, 1) + " MiB (all keys: " + Fixed(allKeys, 1) + " MiB)", growth, 1.0, false);
}

}  // namespace axbench

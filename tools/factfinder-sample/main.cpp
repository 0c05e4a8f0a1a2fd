// factfinder-sample: writes a synthetic set of the nine FactFinder PCT12 files for tests and
// benchmarks. Usage in kUsage below; exit status 0 on success, 1 when the files cannot be
// written, 2 for a wrong command line. Prints nothing on success unless --verbose.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/factfinder-sample/geography.h"
#include "tools/factfinder-sample/population.h"
#include "tools/factfinder-sample/sample_files.h"

namespace {

constexpr const char* kUsage =
    "usage: factfinder-sample --areas N --out TEMPLATE [--level 040|050|140] [--seed S]\n"
    "                         [--crlf] [--verbose]\n"
    "Writes TEMPLATE.csv and TEMPLATEa.csv ... TEMPLATEh.csv: synthetic census table PCT12\n"
    "(sex by single year of age) for N areas of one summary level, in the layout of the census\n"
    "FactFinder download (4 header lines, then one line per area). The counts are invented but\n"
    "consistent; the same seed always gives the same files.\n"
    "  --areas N    number of areas (0 gives header lines only)\n"
    "  --level L    040 states, 050 counties, 140 census tracts (default 140)\n"
    "  --seed S     unsigned 64-bit seed (default 1)\n"
    "  --out T      file name template (folder and stem); the folder must exist\n"
    "  --crlf       end lines with CR LF instead of LF\n"
    "  --verbose    report the files written\n";

struct Options {
  std::size_t areas = 0;
  bool haveAreas = false;
  ffsample::Level level = ffsample::Level::Tract;
  uint64_t seed = 1;
  std::string out;
  bool crlf = false;
  bool verbose = false;
  bool help = false;
};

// A decimal number of digits only that fits in 64 bits.
bool ParseUnsigned(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

// Fills `o` from the arguments; on a mistake returns false with `error` set.
bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i], value;
    bool inlineValue = false;
    if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      inlineValue = true;
    }
    auto take = [&](std::string& v) {
      if (inlineValue) {
        v = value;
        return true;
      }
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      v = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--crlf" || arg == "--verbose") {
      if (inlineValue) {
        error = arg + " takes no value";
        return false;
      }
      (arg == "--crlf" ? o.crlf : o.verbose) = true;
    } else if (arg == "--areas") {
      uint64_t n;
      if (!take(value)) return false;
      if (!ParseUnsigned(value, n)) {
        error = "--areas needs a whole number, not \"" + value + "\"";
        return false;
      }
      o.areas = static_cast<std::size_t>(n);
      o.haveAreas = true;
    } else if (arg == "--level") {
      if (!take(value)) return false;
      if (!ffsample::ParseLevel(value, o.level)) {
        error = "--level must be 040, 050 or 140, not \"" + value + "\"";
        return false;
      }
    } else if (arg == "--seed") {
      if (!take(value)) return false;
      if (!ParseUnsigned(value, o.seed)) {
        error = "--seed needs a whole number from 0 to 18446744073709551615, not \"" + value + "\"";
        return false;
      }
    } else if (arg == "--out") {
      if (!take(o.out)) return false;
    } else {
      error = "unknown argument \"" + arg + "\"";
      return false;
    }
  }
  if (o.help) return true;
  if (!o.haveAreas) {
    error = "--areas is required";
    return false;
  }
  if (o.out.empty() || o.out.back() == '/') {
    error = "--out needs a file name template such as data/DEC_10_SF1_PCT12";
    return false;
  }
  if (o.areas > ffsample::MaxAreas(o.level)) {
    error = "--areas " + std::to_string(o.areas) + " is more than level " +
            ffsample::LevelCode(o.level) + " can hold (at most " +
            std::to_string(ffsample::MaxAreas(o.level)) + ")";
    return false;
  }
  return true;
}

// One area in about 128 has no population; a sample of 8 or more areas always has one.
std::vector<bool> EmptyAreas(std::size_t count, uint64_t seed) {
  std::vector<bool> empty(count, false);
  ffsample::Rng rng(seed, UINT64_MAX);
  for (std::size_t i = 0; i < count; ++i) empty[i] = rng.Uniform() < 1.0 / 128;
  if (count >= 8) empty[rng.Below(count)] = true;
  return empty;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, o, error)) {
    std::fprintf(stderr, "factfinder-sample: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  const auto started = std::chrono::steady_clock::now();
  const std::vector<ffsample::Area> areas = ffsample::MakeAreas(o.level, o.areas, o.seed);
  const std::vector<bool> empty = EmptyAreas(areas.size(), o.seed);
  const ffsample::PopulationModel model(o.level);

  ffsample::SampleFiles files(o.out, o.crlf);
  bool ok = files.Begin({o.level, o.seed, o.areas});
  ffsample::AreaCounts counts;
  for (std::size_t i = 0; ok && i < areas.size(); ++i) {
    ffsample::Rng rng(o.seed, i + 1);
    model.Generate(rng, empty[i], counts);
    ok = files.WriteArea(areas[i], counts);
  }
  if (ok) ok = files.Commit();
  if (!ok) {
    std::fprintf(stderr, "factfinder-sample: %s\n", files.Error().c_str());
    return 1;
  }

  if (o.verbose) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    uint64_t total = 0;
    for (int i = 0; i < ffsample::kIterationCount; ++i) {
      std::printf("%s: %zu lines, %llu bytes\n", files.FileName(i).c_str(), areas.size() + 4,
                  static_cast<unsigned long long>(files.Bytes(i)));
      total += files.Bytes(i);
    }
    std::printf("%zu areas of level %s, seed %llu: 9 files, %llu bytes in %.2f s\n", areas.size(),
                ffsample::LevelCode(o.level), static_cast<unsigned long long>(o.seed),
                static_cast<unsigned long long>(total), seconds);
  }
  return 0;
}

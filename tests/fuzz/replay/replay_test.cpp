// Runs every fuzz target over its seed corpus (tests/fuzz/corpus/<target>) and over every input
// the fuzzer once found harmful (tests/fuzz/regressions/<target>), so that a fixed fault stays
// fixed. In the sanitizer build a read outside a buffer or a leak fails the suite as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/targets/fuzz_targets.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// The input files in Folder (not its subfolders, not hidden files or notes), in name order.
std::vector<fs::path> InputsIn(const fs::path& folder) {
  std::vector<fs::path> inputs;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (!e.is_regular_file() || name.starts_with(".") || name.ends_with(".md")) continue;
    inputs.push_back(e.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

class ReplayTest : public ::testing::TestWithParam<fuzz::Target> {};

TEST_P(ReplayTest, SeedsAndFoundInputsRunCleanly) {
  const fuzz::Target& target = GetParam();
  const fs::path data = AGEMILL_FUZZ_DATA;
  const std::vector<fs::path> seeds = InputsIn(data / "corpus" / target.Name);
  ASSERT_FALSE(seeds.empty()) << "no seed corpus in " << (data / "corpus" / target.Name);
  std::vector<fs::path> inputs = seeds;
  for (const fs::path& p : InputsIn(data / "regressions" / target.Name)) inputs.push_back(p);
  for (const fs::path& input : inputs) {
    // Named before it runs: a crash ends the program before any test report.
    std::fprintf(stderr, "%s: %s\n", target.Name, input.string().c_str());
    const testsupport::Bytes bytes = testsupport::ReadFileBytes(input.string());
    EXPECT_EQ(target.Run(bytes.data(), bytes.size()), 0) << input;
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, ReplayTest, ::testing::ValuesIn(fuzz::AllTargets().begin(),
                                                                  fuzz::AllTargets().end()),
                         [](const ::testing::TestParamInfo<fuzz::Target>& info) {
                           return std::string(info.param.Name);
                         });

}  // namespace

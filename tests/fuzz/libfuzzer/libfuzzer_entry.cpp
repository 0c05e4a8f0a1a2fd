// libFuzzer's entry point for one fuzz target: AGEMILL_FUZZ_TARGET (set per program by
// CMakeLists.txt) names an entry of tests/fuzz/targets/fuzz_targets.h.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/fuzz/targets/fuzz_targets.h"

namespace {

fuzz::Entry FindEntry() {
  for (const fuzz::Target& t : fuzz::AllTargets())
    if (std::strcmp(t.Name, AGEMILL_FUZZ_TARGET) == 0) return t.Run;
  std::fprintf(stderr, "no fuzz target is registered as \"%s\"\n", AGEMILL_FUZZ_TARGET);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const fuzz::Entry entry = FindEntry();
  return entry(Data, Size);
}

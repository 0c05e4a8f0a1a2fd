#include "tests/fuzz/targets/fuzz_targets.h"

namespace fuzz {

std::span<const Target> AllTargets() {
  static constexpr Target kTargets[] = {
      {"dbf", &FuzzDbfTable},
      {"expr", &FuzzExpression},
      {"mdx", &FuzzMdxIndex},
      {"memo", &FuzzMemoFile},
      {"import", &FuzzDelimitedImport},
  };
  return kTargets;
}

}  // namespace fuzz

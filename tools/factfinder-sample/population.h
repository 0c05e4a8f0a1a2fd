// The counts of a sample area: a plausible population split by race, sex and single year of
// age, consistent across the nine PCT12 iterations.
#pragma once

#include <array>

#include "tools/factfinder-sample/geography.h"
#include "tools/factfinder-sample/pct12_layout.h"
#include "tools/factfinder-sample/rng.h"

namespace ffsample {

// One area's nine iterations, index as in kIterations.
using AreaCounts = std::array<Cells, kIterationCount>;

// Draws area populations typical of one summary level. Every area it fills satisfies, in every
// iteration: male total + female total = total, and each sex's total = the sum of its 103 age
// cells; cell by cell the iterations A to G add up to the total population, and H (Hispanic or
// Latino) never exceeds it. Counts stay far below 2^31.
class PopulationModel {
 public:
  explicit PopulationModel(Level level);

  // Fills `out` with the counts of one area drawn from `rng` (the area's own stream); an empty
  // area (no population, as water-only tracts have) gets zeros in every cell.
  void Generate(Rng& rng, bool empty, AreaCounts& out) const;

 private:
  struct Size {
    double median, sigma, low, high;  // lognormal total population, clamped to [low, high]
    double raceSpread;                // sigma of the lognormal noise on the race shares
  };

  // Sets the sex total cell to `count` and splits the count over that sex's 103 age cells.
  void FillAges(Rng& rng, int sex, double ageSkew, bool college, int32_t count, Cells& cells) const;

  Size size_;
  std::array<std::array<double, kAgeCategories>, 2> base_;  // age profile by sex
  std::array<double, kAgeCategories> hispanicAge_;          // Hispanic share factor by age
};

}  // namespace ffsample

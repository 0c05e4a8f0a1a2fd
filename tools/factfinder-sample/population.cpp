// The population model. Counts are drawn top-down: an area total, shares of the race-alone
// iterations and "two or more races", a sex split per race, then an age profile per race and
// sex (a survival curve with the 2010 cohort shape, skewed older or younger per area and race).
// The total population is the cell-by-cell sum of the race iterations, and the Hispanic
// iteration takes a share of each total cell, so every consistency rule holds exactly.
#include "tools/factfinder-sample/population.h"

#include <algorithm>
#include <cmath>

namespace ffsample {
namespace {

// National shares of White, Black, American Indian, Asian, Pacific Islander, other race alone
// and two or more races, and how much older (+) or younger (-) each group is than the average.
constexpr std::array<double, 7> kRaceShare = {0.724, 0.126, 0.009, 0.048, 0.002, 0.062, 0.029};
constexpr std::array<double, 7> kRaceAgeSkew = {0.25, -0.05, -0.10, 0.0, -0.15, -0.45, -0.70};
constexpr double kHispanicShare = 0.16;

// Representative age of each category (the open ones at their middle years).
double CategoryAge(int c) {
  if (c < 100) return c;
  return c == 100 ? 102 : c == 101 ? 107 : 112;
}

// Relative number of people of one sex at exact age `a` in a 2010-like population (about 24%
// under 18, 13% aged 65 and over, 1.8% aged 85 and over, 0.02% aged 100 and over).
double AgeWeight(int sex, double a) {
  // Gompertz survival; women live longer.
  const double b = sex == 0 ? 6.0e-5 : 3.0e-5, c = 0.095;
  double survival = std::exp(-(b / c) * (std::exp(c * a) - 1.0));
  // Cohort sizes: the baby boom (about 46 to 64 in 2010), the smaller cohort born around 1973,
  // the echo boom around 20, and the small cohorts born in the 1930s.
  double cohort = 1.0 + 0.16 * std::exp(-std::pow((a - 52) / 7.0, 2)) -
                  0.07 * std::exp(-std::pow((a - 37) / 4.0, 2)) +
                  0.05 * std::exp(-std::pow((a - 20) / 5.0, 2)) -
                  0.30 * std::exp(-std::pow((a - 75) / 9.0, 2));
  return survival * cohort;
}

// Splits `total` into n counts in proportion to `weights` (all positive), summing exactly to
// `total`: systematic sampling along the cumulative weights from a random start in [0, 1).
void SystematicSplit(int32_t total, const double* weights, int n, double start, int32_t* out) {
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += weights[i];
  const double scale = static_cast<double>(total) / sum;
  double cumulative = 0;
  int32_t before = 0;
  for (int i = 0; i < n; ++i) {
    cumulative += weights[i];
    int32_t upto = total;
    if (i + 1 < n) {
      upto = static_cast<int32_t>(std::min<double>(std::floor(cumulative * scale + start), total));
      upto = std::max(upto, before);
    }
    out[i] = upto - before;
    before = upto;
  }
}

// floor(x + u) for a uniform u: an unbiased whole number near x.
int32_t Dither(double x, Rng& rng) { return static_cast<int32_t>(std::floor(x + rng.Uniform())); }

}  // namespace

PopulationModel::PopulationModel(Level level) {
  switch (level) {
    case Level::State: size_ = {4.5e6, 0.9, 4.0e5, 3.8e7, 0.5}; break;
    case Level::County: size_ = {2.6e4, 1.3, 70, 9.8e6, 0.8}; break;
    case Level::Tract: size_ = {4.2e3, 0.4, 30, 3.8e4, 1.2}; break;
  }
  for (int sex = 0; sex < 2; ++sex) {
    for (int c = 0; c < kAgeCategories; ++c) {
      if (c < 100) {
        base_[sex][c] = AgeWeight(sex, c + 0.5);
      } else {
        int from = c == 100 ? 100 : c == 101 ? 105 : 110, to = c == 102 ? 120 : from + 5;
        double w = 0;
        for (int a = from; a < to; ++a) w += AgeWeight(sex, a + 0.5);
        base_[sex][c] = w;
      }
    }
  }
  // Hispanic people are younger than average; the factor averages 1 over the population.
  double weighted = 0, people = 0;
  for (int c = 0; c < kAgeCategories; ++c) {
    hispanicAge_[c] = std::exp(-0.022 * CategoryAge(c));
    weighted += hispanicAge_[c] * (base_[0][c] + base_[1][c]);
    people += base_[0][c] + base_[1][c];
  }
  for (double& f : hispanicAge_) f *= people / weighted;
}

void PopulationModel::FillAges(Rng& rng, int sex, double ageSkew, bool college, int32_t count,
                               Cells& cells) const {
  const int first = kGenderFirstAgeCell[sex];
  cells[kGenderTotalCell[sex]] = count;
  if (count == 0) return;
  // exp(ageSkew * (age - 38) / 40), stepped by one multiplication per year of age.
  const double step = std::exp(ageSkew / 40.0);
  double skew = std::exp(ageSkew * (0 - 38) / 40.0);
  std::array<double, kAgeCategories> w;
  for (int c = 0; c < kAgeCategories; ++c) {
    double f = c < 100 ? skew : std::exp(ageSkew * (CategoryAge(c) - 38) / 40.0);
    if (college && c >= 18 && c <= 24) f *= 3.0;
    w[c] = base_[sex][c] * f * (0.75 + 0.5 * rng.Uniform());
    skew *= step;
  }
  SystematicSplit(count, w.data(), kAgeCategories, rng.Uniform(), &cells[first]);
}

void PopulationModel::Generate(Rng& rng, bool empty, AreaCounts& out) const {
  for (Cells& cells : out) cells.fill(0);
  if (empty) return;

  const double drawn = size_.median * std::exp(size_.sigma * rng.Normal());
  const auto total = static_cast<int32_t>(std::clamp(std::round(drawn), size_.low, size_.high));

  std::array<double, 7> share;
  for (int r = 0; r < 7; ++r) share[r] = kRaceShare[r] * std::exp(size_.raceSpread * rng.Normal());
  std::array<int32_t, 7> byRace;
  SystematicSplit(total, share.data(), 7, rng.Uniform(), byRace.data());

  const double areaSkew = 0.25 * rng.Normal();
  const bool college = rng.Uniform() < 0.03;  // a college town: many people aged 18 to 24
  const double maleShare = std::clamp(0.49 + 0.012 * rng.Normal(), 0.40, 0.60);

  Cells& all = out[0];
  for (int r = 0; r < 7; ++r) {
    Cells& cells = out[kFirstRaceIteration + r];
    const int32_t people = byRace[r];
    cells[kTotalCell] = people;
    if (people == 0) continue;
    const double male = std::clamp(maleShare + 0.01 * rng.Normal(), 0.3, 0.7);
    const int32_t men = std::min(people, Dither(people * male, rng));
    const double skew = areaSkew + kRaceAgeSkew[r] + 0.1 * rng.Normal();
    FillAges(rng, 0, skew, college, men, cells);
    FillAges(rng, 1, skew, college, people - men, cells);
    for (int c = 0; c < kCellCount; ++c) all[c] += cells[c];
  }

  // Hispanic or Latino: a share of every age cell of the total, younger than average.
  Cells& hispanic = out[kHispanicIteration];
  // Lognormal around the national share (the -0.405 keeps its mean at kHispanicShare).
  const double share_h =
      std::min(0.98, kHispanicShare * std::exp(0.9 * rng.Normal() - 0.405));
  for (int sex = 0; sex < 2; ++sex) {
    int32_t sum = 0;
    for (int c = 0; c < kAgeCategories; ++c) {
      const int cell = kGenderFirstAgeCell[sex] + c;
      const double p = std::min(1.0, share_h * hispanicAge_[c]);
      hispanic[cell] = std::min(all[cell], Dither(all[cell] * p, rng));
      sum += hispanic[cell];
    }
    hispanic[kGenderTotalCell[sex]] = sum;
  }
  hispanic[kTotalCell] = hispanic[kGenderTotalCell[0]] + hispanic[kGenderTotalCell[1]];
}

}  // namespace ffsample

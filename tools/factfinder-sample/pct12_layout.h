// The layout of census table PCT12 (sex by single year of age) as the generator writes it: the
// 209 cells in the table's own order and the nine iterations (total population, A to H).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ffsample {

// Cells, counted from 0 here (cell 1 of the table is index 0):
//   0        total population
//   1        male, total
//   2..104   male by age: under 1 year, 1 year, 2 ... 99 years, 100 to 104 years,
//            105 to 109 years, 110 years and over (103 age categories)
//   105      female, total
//   106..208 female by age, the same 103 categories in the same order
constexpr int kCellCount = 209;
constexpr int kAgeCategories = 103;
constexpr int kTotalCell = 0;
constexpr int kGenderTotalCell[2] = {1, 105};    // male, female
constexpr int kGenderFirstAgeCell[2] = {2, 106};  // male, female

using Cells = std::array<int32_t, kCellCount>;

// Iterations in file order; index 0 is the total population, 1..8 the iterations A to H.
constexpr int kIterationCount = 9;
// The race-alone iterations A to F and "two or more races" (G) partition the total population;
// Hispanic or Latino (H) is an ethnicity that cuts across them and is a part of the total.
constexpr int kFirstRaceIteration = 1;  // A
constexpr int kLastRaceIteration = 7;   // G
constexpr int kHispanicIteration = 8;   // H

struct Iteration {
  const char* suffix;    // file name suffix: template + suffix + ".csv"
  const char* table;     // table id as the census names it
  const char* title;     // table title
  const char* universe;  // who is counted
};

constexpr std::array<Iteration, kIterationCount> kIterations = {{
    {"", "PCT12", "SEX BY SINGLE YEAR OF AGE", "Total population"},
    {"a", "PCT12A", "SEX BY SINGLE YEAR OF AGE (WHITE ALONE)", "People who are White alone"},
    {"b", "PCT12B", "SEX BY SINGLE YEAR OF AGE (BLACK OR AFRICAN AMERICAN ALONE)",
     "People who are Black or African American alone"},
    {"c", "PCT12C", "SEX BY SINGLE YEAR OF AGE (AMERICAN INDIAN AND ALASKA NATIVE ALONE)",
     "People who are American Indian and Alaska Native alone"},
    {"d", "PCT12D", "SEX BY SINGLE YEAR OF AGE (ASIAN ALONE)", "People who are Asian alone"},
    {"e", "PCT12E", "SEX BY SINGLE YEAR OF AGE (NATIVE HAWAIIAN AND OTHER PACIFIC ISLANDER ALONE)",
     "People who are Native Hawaiian and Other Pacific Islander alone"},
    {"f", "PCT12F", "SEX BY SINGLE YEAR OF AGE (SOME OTHER RACE ALONE)",
     "People who are Some Other Race alone"},
    {"g", "PCT12G", "SEX BY SINGLE YEAR OF AGE (TWO OR MORE RACES)",
     "People who are Two or More Races"},
    {"h", "PCT12H", "SEX BY SINGLE YEAR OF AGE (HISPANIC OR LATINO)",
     "People who are Hispanic or Latino"},
}};

// The label of an age category 0..102: "Under 1 year", "1 year", "2 years" ... "99 years",
// "100 to 104 years", "105 to 109 years", "110 years and over".
inline std::string AgeLabel(int category) {
  if (category == 0) return "Under 1 year";
  if (category == 1) return "1 year";
  if (category < 100) return std::to_string(category) + " years";
  if (category == 100) return "100 to 104 years";
  if (category == 101) return "105 to 109 years";
  return "110 years and over";
}

}  // namespace ffsample

// Builds the area list of a sample: chooses how many states and counties are needed, splits the
// areas over them and names every area the way census geography names read.
#include "tools/factfinder-sample/geography.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "tools/factfinder-sample/rng.h"

namespace ffsample {
namespace {

struct State {
  int code;
  const char* name;
};

// The states, the District of Columbia and Puerto Rico with their two-digit codes.
constexpr std::array<State, 52> kRealStates = {{
    {1, "Alabama"},        {2, "Alaska"},         {4, "Arizona"},        {5, "Arkansas"},
    {6, "California"},     {8, "Colorado"},       {9, "Connecticut"},    {10, "Delaware"},
    {11, "District of Columbia"}, {12, "Florida"}, {13, "Georgia"},     {15, "Hawaii"},
    {16, "Idaho"},         {17, "Illinois"},      {18, "Indiana"},       {19, "Iowa"},
    {20, "Kansas"},        {21, "Kentucky"},      {22, "Louisiana"},     {23, "Maine"},
    {24, "Maryland"},      {25, "Massachusetts"}, {26, "Michigan"},      {27, "Minnesota"},
    {28, "Mississippi"},   {29, "Missouri"},      {30, "Montana"},       {31, "Nebraska"},
    {32, "Nevada"},        {33, "New Hampshire"}, {34, "New Jersey"},    {35, "New Mexico"},
    {36, "New York"},      {37, "North Carolina"}, {38, "North Dakota"}, {39, "Ohio"},
    {40, "Oklahoma"},      {41, "Oregon"},        {42, "Pennsylvania"},  {44, "Rhode Island"},
    {45, "South Carolina"}, {46, "South Dakota"}, {47, "Tennessee"},     {48, "Texas"},
    {49, "Utah"},          {50, "Vermont"},       {51, "Virginia"},      {53, "Washington"},
    {54, "West Virginia"}, {55, "Wisconsin"},     {56, "Wyoming"},       {72, "Puerto Rico"},
}};

constexpr int kMaxStates = 99;            // codes 01 to 99
constexpr int kMaxCountiesPerState = 500;  // odd codes 001 to 999
constexpr std::size_t kMaxTractsPerCounty = 2500;
constexpr std::size_t kMaxTracts = 1'000'000;  // the area list is held in memory
constexpr double kCountiesPerState = 62;  // about the national average
constexpr double kTractsPerCounty = 23;

// County names: a first part and an ending, 40 x 14 = 560 names, more than a state can hold.
constexpr std::array<const char*, 40> kNameStarts = {
    "Ash",   "Bel",   "Brook", "Cal",   "Cedar", "Clay",  "Dun",   "East",  "Elm",   "Fair",
    "Fox",   "Glen",  "Green", "Har",   "Hazel", "Iron",  "Jef",   "Kings", "Lake",  "Lin",
    "Maple", "Mar",   "Mill",  "New",   "North", "Oak",   "Pine",  "Red",   "River", "Rock",
    "Sal",   "South", "Spring", "Stone", "Tay",  "Union", "Val",   "Wash",  "West",  "York"};
constexpr std::array<const char*, 14> kNameEnds = {"ford", "ton",  "ville", "field", "wood",
                                                   "more", "dale", "land",  "burg",  "ridge",
                                                   "wick", "port", "haven", "mont"};

std::string TwoDigits(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v % 100);
  return b;
}

std::string Digits(long long v, int width) {
  char b[32];
  std::snprintf(b, sizeof b, "%0*lld", width, v);
  return b;
}

// Splits `total` into `parts` counts, each from 1 to `cap`, in proportion to random weights.
// Needs parts <= total <= parts * cap.
std::vector<std::size_t> Split(std::size_t total, std::size_t parts, std::size_t cap, Rng& rng) {
  std::vector<std::size_t> out(parts, 1);
  std::vector<double> weight(parts);
  double sum = 0;
  for (double& w : weight) {
    w = std::exp(0.7 * rng.Normal());
    sum += w;
  }
  std::size_t rest = total - parts;
  std::size_t given = 0;
  for (std::size_t i = 0; i < parts; ++i) {
    auto share = static_cast<std::size_t>(static_cast<double>(rest) * weight[i] / sum);
    share = std::min({share, cap - 1, rest - given});
    out[i] += share;
    given += share;
  }
  // What rounding and the cap left over goes to parts that still have room.
  for (std::size_t i = rng.Below(parts), n = 0; given < rest && n < 2 * parts; ++n) {
    std::size_t room = cap - out[i];
    std::size_t add = std::min(room, n < parts ? std::size_t{1} : rest - given);
    out[i] += add;
    given += add;
    i = (i + 1) % parts;
  }
  return out;
}

struct ChosenState {
  int code;
  std::string name;
};

// The first `count` states: the real ones, then invented ones on the unused codes; sorted by code.
std::vector<ChosenState> ChooseStates(std::size_t count) {
  std::vector<ChosenState> all;
  for (const State& s : kRealStates) all.push_back({s.code, s.name});
  for (int code = 1; code <= kMaxStates; ++code) {
    bool used = std::any_of(kRealStates.begin(), kRealStates.end(),
                            [code](const State& s) { return s.code == code; });
    if (!used) all.push_back({code, "State " + TwoDigits(code)});
  }
  all.resize(count);
  std::sort(all.begin(), all.end(),
            [](const ChosenState& a, const ChosenState& b) { return a.code < b.code; });
  return all;
}

std::size_t CeilDiv(std::size_t a, double b) {
  return static_cast<std::size_t>(std::ceil(static_cast<double>(a) / b));
}

// `count` distinct county names for one state; Louisiana has parishes, Alaska boroughs.
std::vector<std::string> CountyNames(const ChosenState& state, std::size_t count, Rng& rng) {
  const char* kind = state.code == 22 ? " Parish" : state.code == 2 ? " Borough" : " County";
  constexpr std::size_t kNames = kNameStarts.size() * kNameEnds.size();
  std::vector<bool> taken(kNames, false);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t pick = rng.Below(kNames);
    while (taken[pick]) pick = (pick + 1) % kNames;
    taken[pick] = true;
    names.push_back(std::string(kNameStarts[pick / kNameEnds.size()]) +
                    kNameEnds[pick % kNameEnds.size()] + kind);
  }
  return names;
}

void AddArea(std::vector<Area>& out, Level level, std::string geocode, std::string name) {
  out.push_back({std::string(LevelCode(level)) + "0000US" + geocode, std::move(geocode),
                 std::move(name)});
}

// `count` tracts of one county, numbered upwards; about one base number in six is split into
// parts .01, .02 (and sometimes .03), as census tracts are after growth.
void AddTracts(std::vector<Area>& out, const std::string& countyCode,
               const std::string& countyName, std::size_t count, Rng& rng) {
  long long base = 101 + static_cast<long long>(rng.Below(200));
  std::size_t made = 0;
  while (made < count) {
    double r = rng.Uniform();
    int parts = r < 0.03 ? 3 : r < 0.15 ? 2 : 1;
    for (int part = 1; part <= parts && made < count; ++part, ++made) {
      int suffix = parts == 1 ? 0 : part;
      std::string number = std::to_string(base) + (suffix ? "." + TwoDigits(suffix) : "");
      AddArea(out, Level::Tract, countyCode + Digits(base * 100 + suffix, 6),
              "Census Tract " + number + ", " + countyName);
    }
    base += 1 + static_cast<long long>(rng.Below(2));
  }
}

}  // namespace

const char* LevelCode(Level level) {
  switch (level) {
    case Level::State: return "040";
    case Level::County: return "050";
    case Level::Tract: return "140";
  }
  return "140";
}

bool ParseLevel(const std::string& text, Level& level) {
  for (Level l : {Level::State, Level::County, Level::Tract}) {
    if (text == LevelCode(l)) {
      level = l;
      return true;
    }
  }
  return false;
}

std::size_t MaxAreas(Level level) {
  switch (level) {
    case Level::State: return kMaxStates;
    case Level::County: return std::size_t{kMaxStates} * kMaxCountiesPerState;
    case Level::Tract: return kMaxTracts;
  }
  return 0;
}

std::vector<Area> MakeAreas(Level level, std::size_t count, uint64_t seed) {
  if (count > MaxAreas(level)) throw std::invalid_argument("too many areas for the level");
  std::vector<Area> out;
  if (count == 0) return out;
  out.reserve(count);
  Rng rng(seed, 0);

  if (level == Level::State) {
    for (const ChosenState& s : ChooseStates(count)) AddArea(out, level, TwoDigits(s.code), s.name);
    return out;
  }

  const std::size_t counties =
      level == Level::County
          ? count
          : std::min(CeilDiv(count, kTractsPerCounty),
                     std::size_t{kMaxStates} * kMaxCountiesPerState);
  const std::size_t states =
      std::clamp<std::size_t>(CeilDiv(counties, kCountiesPerState), 1, kMaxStates);
  std::vector<ChosenState> chosen = ChooseStates(states);
  std::vector<std::size_t> perState = Split(counties, states, kMaxCountiesPerState, rng);
  std::vector<std::size_t> perCounty;
  if (level == Level::Tract) perCounty = Split(count, counties, kMaxTractsPerCounty, rng);

  std::size_t county = 0;
  for (std::size_t s = 0; s < states; ++s) {
    std::vector<std::string> names = CountyNames(chosen[s], perState[s], rng);
    for (std::size_t c = 0; c < perState[s]; ++c, ++county) {
      std::string code = TwoDigits(chosen[s].code) + Digits(static_cast<long long>(2 * c + 1), 3);
      std::string name = names[c] + ", " + chosen[s].name;
      if (level == Level::County) {
        AddArea(out, level, code, name);
      } else {
        AddTracts(out, code, name, perCounty[county], rng);
      }
    }
  }
  return out;
}

}  // namespace ffsample

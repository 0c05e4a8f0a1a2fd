// Row helpers of the maintenance suites: field values set through the typed record of the
// current area (the key table of the index suites), and eleven-digit geocodes.
#pragma once

#include <string>

#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/index/semaphore.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"

namespace indextest {

// Key table field numbers.
enum { kSumlev = 1, kGeocode = 2, kRace = 3, kPop = 4, kDay = 5 };

inline void SetField(int Field, const std::string& Value) {
  morvane::WorkArea& a = *morvane::CurrentWorkArea();
  morvane::StoreValueText(a.Table.Fields[static_cast<size_t>(Field - 1)], a.Typed, Value);
}

inline std::string Geo(int N) {
  std::string s = std::to_string(N);
  return std::string(s.size() < 11 ? 11 - s.size() : 0, '0') + s;
}

// In a forked second process: forgets the parent's semaphore logins, records errors, and opens
// the shared Table in area 1 with its production index. False (the error detail in Errors)
// when the open fails.
inline bool OpenSharedInChild(const std::string& Table) {
  morvane::ResetSemaphores();
  morvane::SetErrorCheck(false);
  morvane::SemaphoreSettings.LockPauseMicroseconds = 200;
  morvane::Select(1);
  morvane::Use(Table, nullptr, 0);
  return morvane::Errors.DbfError == 0 && morvane::SetIndexTo("");
}

}  // namespace indextest

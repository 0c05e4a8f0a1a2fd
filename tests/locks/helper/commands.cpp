#include "tests/locks/helper/commands.h"

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/dbf/locks.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"

namespace lockhelper {

namespace {

using namespace morvane;

std::string Code() { return std::to_string(Errors.DbfError); }
std::string OkOrErr() { return Errors.DbfError == 0 ? "ok" : "err " + Code(); }
std::string Bool(bool b) { return b ? "true" : "false"; }

// Stores NAME=VALUE in the typed record; false (and the answer) for an unknown field.
bool SetValue(const std::string& assignment, std::string& answer) {
  const size_t eq = assignment.find('=');
  const std::string name = assignment.substr(0, eq);
  const int n = FieldNo(name);
  WorkArea* a = CurrentWorkArea();
  if (eq == std::string::npos || n == 0 || a == nullptr) {
    answer = "err no field " + name;
    return false;
  }
  StoreValueText(a->Table.Fields[static_cast<size_t>(n - 1)], a->Typed, assignment.substr(eq + 1));
  return true;
}

std::string SixDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06d", n);
  return buf;
}

std::string AppendBurst(char who, int from, int count, int burst) {
  int done = 0;
  std::string unused;
  while (done < count) {
    while (!ALock()) std::this_thread::yield();
    for (int k = 0; k < burst && done < count; ++k) {
      const int seq = from + done++;
      ClearRecord();
      SetValue(std::string("WHO=") + who, unused);
      SetValue("SEQ=" + std::to_string(seq), unused);
      SetValue(std::string("CHECK=") + who + SixDigits(seq) + "#", unused);
      Append();
      if (Errors.DbfError != 0) {
        const std::string answer = "err " + Code();
        Unlock();
        return answer;
      }
    }
    Unlock();
    if (Errors.DbfError != 0) return "err " + Code();
    // A moment without the lock, so that the other appenders get their turns in between.
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  return "ok";
}

std::string ReadUntil(int32_t target, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int32_t seen = 0;
  long reads = 0;
  while (seen < target) {
    if (std::chrono::steady_clock::now() > deadline) return "timeout " + std::to_string(seen);
    const int32_t count = RecCount();
    for (int32_t r = seen + 1; r <= count; ++r) {
      Go(r);
      WorkArea* a = CurrentWorkArea();
      const std::string raw(a->Table.Record(), a->Table.RecordLength);
      char who = 0;
      int seq = 0;
      if (Errors.DbfError != 0 || !StressRecordIntact(raw, who, seq))
        return "bad " + std::to_string(r) + " [" + raw + "] " + Code();
      ++reads;
    }
    if (count > seen) seen = count;
    std::this_thread::yield();
  }
  return "ok " + std::to_string(reads);
}

}  // namespace

std::vector<FieldDescriptor> StressFields() {
  auto field = [](const char* name, char type, uint8_t width) {
    FieldDescriptor f;
    f.Name = name;
    f.Type = type;
    f.Width = width;
    return f;
  };
  return {field("WHO", 'C', 1), field("SEQ", 'N', 6), field("CHECK", 'C', 8)};
}

bool StressRecordIntact(const std::string& raw, char& who, int& seq) {
  if (raw.size() != 16 || raw[0] != ' ') return false;
  who = raw[1];
  if (who != 'A' && who != 'B') return false;
  seq = 0;
  const std::string number = raw.substr(2, 6);
  size_t i = number.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  for (; i < number.size(); ++i) {
    if (number[i] < '0' || number[i] > '9') return false;
    seq = seq * 10 + (number[i] - '0');
  }
  return raw.substr(8) == std::string(1, who) + SixDigits(seq) + "#";
}

std::string Execute(const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  Errors.DbfError = 0;
  if (verb == "use") {
    std::string path, option;
    in >> path >> option;
    Use(path + " ALIAS OTHER" + (option.empty() ? "" : " " + option), nullptr, 0);
    return OkOrErr();
  }
  if (verb == "close") {
    CloseArea();
    return OkOrErr();
  }
  if (verb == "go") {
    int32_t n = 0;
    in >> n;
    Go(n);
    return OkOrErr();
  }
  if (verb == "rlock") return Bool(RLock());
  if (verb == "alock") return Bool(ALock());
  if (verb == "islocked") {
    int32_t n = 0;
    in >> n;
    return Bool(IsLocked(n));
  }
  if (verb == "unlockrec") {
    int32_t n = 0;
    in >> n;
    return UnlockRec(n) ? "true" : "false " + Code();
  }
  if (verb == "unlock") {
    Unlock();
    return "ok " + Code();
  }
  if (verb == "set") {
    std::string assignment, answer = "ok";
    while (in >> assignment)
      if (!SetValue(assignment, answer)) break;
    return answer;
  }
  if (verb == "replace") {
    Replace();
    return OkOrErr();
  }
  if (verb == "delete") {
    DeleteRec();
    return OkOrErr();
  }
  if (verb == "recall") {
    RecallRec();
    return OkOrErr();
  }
  if (verb == "append") {
    Append();
    return Errors.DbfError == 0 ? "ok " + std::to_string(RecNo()) : "err " + Code();
  }
  if (verb == "zap") {
    const bool done = Zap();
    return done ? "true" : "false " + Code();
  }
  if (verb == "reccount") return std::to_string(RecCount());
  if (verb == "field") {
    std::string name;
    in >> name;
    const int n = FieldNo(name);
    WorkArea* a = CurrentWorkArea();
    if (n == 0 || a == nullptr) return "err no field " + name;
    const FieldDescriptor& f = a->Table.Fields[static_cast<size_t>(n - 1)];
    return "[" + std::string(a->Table.Record() + f.Offset, f.Width) + "]";
  }
  if (verb == "appendburst") {
    std::string who;
    int from = 1, count = 0, burst = 1;
    in >> who >> from >> count >> burst;
    return AppendBurst(who.empty() ? '?' : who[0], from, count, burst < 1 ? 1 : burst);
  }
  if (verb == "readuntil") {
    int32_t target = 0;
    int seconds = 60;
    in >> target >> seconds;
    return ReadUntil(target, seconds);
  }
  return "unknown " + verb;
}

}  // namespace lockhelper

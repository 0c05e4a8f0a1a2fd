// Positioning in the current work area: GoTop, GoBottom, Skip, Go and their relatives, the end
// flags and the record count. Natural record order unless the index hooks report an active
// order; every indexed move holds the index for reading, released also when a report raises.
#include <cstdlib>

#include "engine/dbf/semaphore_hold.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"

namespace morvane {

namespace {


void Call(void (*hook)()) {
  if (hook != nullptr) hook();
}
int32_t Call(int32_t (*hook)(), int32_t otherwise) { return hook ? hook() : otherwise; }
bool Call(bool (*hook)(), bool otherwise) { return hook ? hook() : otherwise; }

bool Visible(const WorkArea& a) {
  return !a.Table.IgnoreDeleted || a.Table.RecordBuffer.empty() || a.Table.Record()[0] != '*';
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

bool ReadCurrent(WorkArea& a, int32_t n) {
  Errors.DbfError = 0;
  GetDbfRecord(a.Table, n);
  if (Errors.DbfError != 0) return false;
  RecordToTyped(a.Table, a.Typed);
  return true;
}

void GoPhantomEnd(WorkArea& a) {
  BlankRecord(a);
  a.Table.CurrentRecord = a.Table.RecordCount + 1;
  a.Table.AtEof = a.Table.AtBof = true;
}

void GoTop() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("GoTop");
  if (a == nullptr || a->Table.RecordCount <= 0) return;
  DbfControlBlock& t = a->Table;
  const bool ordered = OrderActive();
  SemaphoreHold hold(IndexHooks.SetReadSemaphoreProc, ordered);
  int32_t n = 1;
  if (ordered) {
    n = Call(IndexHooks.IndexFirst, 1);
    if (n == t.RecordCount + 1) {
      GoPhantomEnd(*a);
      return;
    }
  }
  if (!ReadCurrent(*a, n)) return;
  while (!Visible(*a) && !t.AtEof && Errors.DbfError == 0) {
    if (ordered) {
      n = Call(IndexHooks.IndexNext, t.CurrentRecord);
      if (Call(IndexHooks.IndexEof, false)) n = t.RecordCount + 1;
    } else {
      n = t.CurrentRecord + 1;
    }
    if (n > t.RecordCount) {
      GoPhantomEnd(*a);
      if (ordered) Call(IndexHooks.SyncIndex);
      break;
    }
    if (!ReadCurrent(*a, n)) return;
  }
  if (ordered) Call(IndexHooks.IndexAfterMove);
}

void GoBottom() {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("GoBottom");
  if (a == nullptr) return;
  RefreshRecCount();
  DbfControlBlock& t = a->Table;
  if (t.RecordCount <= 0) return;
  const bool ordered = OrderActive();
  SemaphoreHold hold(IndexHooks.SetReadSemaphoreProc, ordered);
  int32_t n = ordered ? Call(IndexHooks.IndexLast, t.RecordCount) : t.RecordCount;
  if (ordered && n == t.RecordCount + 1) {
    GoPhantomEnd(*a);
    return;
  }
  if (!ReadCurrent(*a, n)) return;
  while (!Visible(*a) && Errors.DbfError == 0) {
    bool passed;
    if (ordered) {
      n = Call(IndexHooks.IndexPrev, t.CurrentRecord);
      passed = Call(IndexHooks.IndexBof, false);
    } else {
      n = t.CurrentRecord - 1;
      passed = n < 1;
    }
    if (passed) {
      GoPhantomEnd(*a);
      if (ordered) {
        Call(IndexHooks.SyncIndex);
        Call(IndexHooks.IndexSetBof);
        Call(IndexHooks.IndexSetEof);
      }
      break;
    }
    if (!ReadCurrent(*a, n)) return;
  }
  if (ordered) Call(IndexHooks.IndexAfterMove);
}

void TopWhile() {
  if (RecCount() != 0) GoTop();
}

void BottomWhile() {
  if (RecCount() != 0) GoBottom();
}

void Skip(int32_t n) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("SKIP()");
  if (a == nullptr) return;
  DbfControlBlock& t = a->Table;
  if (n == 0) {
    if (t.RecordCount <= 0 || t.AtEof)
      BlankRecord(*a);
    else
      ReadCurrent(*a, t.CurrentRecord);
    return;
  }
  if (n > 0 && t.RecordCount <= 0) RefreshRecCount();
  if (t.RecordCount <= 0) {
    t.AtEof = t.AtBof = true;
    ReportError(212, "Database " + Quoted(t.FileName) + " is empty. [SKIP]");
    return;
  }
  if (n > 0 && t.AtEof) {
    ReportError(212, "Database " + Quoted(t.FileName) + " is past EOF. [SKIP]");
    return;
  }
  if (n < 0 && dBOF()) return;

  t.AtEof = t.AtBof = false;
  const bool ordered = OrderActive();
  const bool forward = n > 0;
  SemaphoreHold hold(IndexHooks.SetReadSemaphoreProc, ordered);
  int64_t remaining = std::llabs(static_cast<int64_t>(n));
  bool hitEnd = false;
  while (remaining > 0) {
    const int32_t current = t.CurrentRecord;
    int32_t next;
    if (forward) {
      if (ordered) {
        next = Call(IndexHooks.IndexNext, current);
        hitEnd = next == current;
      } else {
        RefreshRecCount();
        next = current + 1;
        hitEnd = next > t.RecordCount;
      }
    } else {
      if (ordered) {
        next = Call(IndexHooks.IndexPrev, current);
        hitEnd = next == current;
      } else {
        next = current - 1;
        hitEnd = next < 1;
      }
    }
    if (hitEnd) break;
    if (!ReadCurrent(*a, next)) return;
    if (Visible(*a)) --remaining;
  }
  if (hitEnd && forward) {
    t.CurrentRecord = t.RecordCount + 1;
    t.AtEof = true;
    BlankRecord(*a);
    if (ordered) Call(IndexHooks.SyncIndex);
  } else if (hitEnd) {
    GoTop();
    t.AtBof = true;
    if (ordered) Call(IndexHooks.IndexSetBof);
    if (t.AtEof) BlankRecord(*a);
  }
  hold.Release();
  if (ordered) Call(IndexHooks.IndexAfterMove);
}

void Go(int32_t n) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("GO()");
  if (a == nullptr) return;
  DbfControlBlock& t = a->Table;
  if (n > t.RecordCount) RefreshRecCount();
  const std::string message = "Invalid record number = " + std::to_string(n) + " Database " +
                              Quoted(t.FileName) + " [GO]";
  if (t.RecordCount <= 0) {
    t.AtEof = t.AtBof = true;
    BlankRecord(*a);
    ReportError(212, message);
    return;
  }
  t.AtEof = t.AtBof = false;
  if (n >= 1 && n <= t.RecordCount) {
    const bool ordered = OrderActive();
    SemaphoreHold hold(IndexHooks.SetReadSemaphoreProc, ordered);
    if (ReadCurrent(*a, n) && ordered) {
      Call(IndexHooks.SyncIndex);
      Call(IndexHooks.IndexAfterMove);
    }
    return;
  }
  BlankRecord(*a);
  t.CurrentRecord = t.RecordCount + 1;
  t.AtEof = true;
  ReportError(212, message);
}

void RawGo(int32_t n) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("Dbf4RawGo");
  if (a == nullptr) return;
  DbfControlBlock& t = a->Table;
  if (n > t.RecordCount) {
    t.CurrentRecord = t.RecordCount + 1;
    t.AtEof = true;
    BlankRecord(*a);
  } else if (n <= 0) {
    ReportError(212, " [Dbf4RawGo]");
  } else {
    ReadCurrent(*a, n);
  }
}

bool GoIfValid(int32_t n) {
  int32_t count = RecCount();
  if (n < 1 || n > count) return false;
  Go(n);
  return true;
}

bool dEOF() {
  WorkArea* a = CheckInUse("dEOF");
  if (a == nullptr) return true;
  RefreshRecCount();
  if (a->Table.CurrentRecord > a->Table.RecordCount) a->Table.AtEof = true;
  if (OrderActive()) return Call(IndexHooks.IndexEof, a->Table.AtEof);
  return a->Table.AtEof;
}

bool dBOF() {
  WorkArea* a = CheckInUse("dBOF");
  if (a == nullptr) return true;
  if (OrderActive()) return Call(IndexHooks.IndexBof, a->Table.AtBof);
  return a->Table.AtBof;
}

int32_t RecCount() {
  WorkArea* a = CheckInUse("RecCount");
  if (a == nullptr) return 0;
  RefreshRecCount();
  return a->Table.RecordCount;
}

int32_t RecNo() {
  WorkArea* a = CheckInUse("RecNo");
  return a ? a->Table.CurrentRecord : 0;
}

int32_t RecSize() {
  WorkArea* a = CheckInUse("RecSize");
  return a ? a->Table.RecordLength : 0;
}

bool RecordVisible() {
  WorkArea* a = CurrentWorkArea();
  return a != nullptr && Visible(*a);
}

bool SetIgnoreDel(bool on) {
  WorkArea* a = CheckInUse("SetIgnoreDel");
  if (a == nullptr) return false;
  bool previous = a->Table.IgnoreDeleted;
  a->Table.IgnoreDeleted = on;
  Skip(0);
  return previous;
}

}  // namespace morvane

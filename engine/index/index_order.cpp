// The controlling order and keeping tags on the current record: Set_Order_To, SetOrderToTag,
// CurrentOrder, SyncIndex and SoftSyncIndex, and the refresh after other processes changed a
// shared index.
#include <algorithm>
#include <cstring>

#include "engine/index/index_errors.h"
#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/texts.h"

namespace morvane {

namespace ndx {

namespace {

std::string KeyText(const uint8_t* Key, size_t Length) {
  return std::string(reinterpret_cast<const char*>(Key), Length);
}

bool KeysEqual(const IndexTag& T, const uint8_t* A, const uint8_t* B) {
  return T.Compare.Kind == mdx::KeyKind::Decimal ? mdx::CompareDecimal(A, B) == 0
                                                 : std::memcmp(A, B, T.KeyLength) == 0;
}

// Makes tag N the controlling tag (slot 1): every other tag in its own slot, tag 1 in slot N.
void ChangeOrder(WorkArea& A, IndexBlock& B, int N) {
  bool open = false;
  for (int s = 1; s <= mdx::kMaxTags; ++s)
    open = open || (B.Slots[static_cast<size_t>(s)] && B.Slots[static_cast<size_t>(s)]->TagNumber == N);
  if (!open)
    ReportAlways(221, "Index not open.. (DBF=" + A.Table.FileName + ") [Set_Order_To(" +
                          std::to_string(N) + ")]");
  const bool wasEof = A.Table.AtEof || (B.Controlling() != nullptr && B.Controlling()->Eof);
  if (A.Table.CurrentRecord >= 1 && A.Table.CurrentRecord <= A.Table.RecordCount)
    ReadCurrent(A, A.Table.CurrentRecord);
  std::array<std::unique_ptr<IndexTag>, mdx::kMaxTags + 1> sorted;
  for (auto& slot : B.Slots)
    if (slot) {
      const int k = slot->TagNumber;
      sorted[static_cast<size_t>(k)] = std::move(slot);
    }
  B.Slots = std::move(sorted);
  std::swap(B.Slots[1], B.Slots[static_cast<size_t>(N)]);
  B.NaturalOrder = false;
  if (A.Table.RecordCount > 0 && wasEof) GoPhantomEnd(A);
}

}  // namespace

void SyncTag(IndexBlock& B, IndexTag& T, bool Controlling) {
  WorkArea& a = *CurrentWorkArea();
  const int32_t rec = a.Table.CurrentRecord;
  if (rec < 1 || rec > a.Table.RecordCount || !SatisfiesFor(T)) {
    if (Controlling) {
      GoAfterLast(B, T);
      T.Eof = true;
    } else {
      GoLastKey(B, T);
    }
    return;
  }
  std::array<uint8_t, mdx::kMaxKeyLength + 1> key{};
  BuildKey(a, T, key.data());
  const SeekResult r = Seek(B, T, key.data());
  if (!r.Found) {
    ReportError(212, "Key: \"" + KeyText(key.data(), T.KeyLength) + "\" not in index: " +
                         TagLabel(B, T) + ". [SyncIndex-1] Record: " + std::to_string(rec));
    return;
  }
  if (!T.Unique) {
    while (CurrentRecordOf(T) != rec) {
      if (!StepNext(B, T) || !KeysEqual(T, CurrentItemKey(T), key.data())) {
        ReportError(212, "Record with key: \"" + KeyText(key.data(), T.KeyLength) +
                             "\" not in index: " + TagLabel(B, T) + ". [SyncIndex-2]");
        return;
      }
    }
  }
  T.Eof = T.Bof = false;
}

void RefreshIfChanged(IndexBlock& B) {
  if (!B.Shared || !SemaphoreLoggedIn()) return;
  SemaphoreRecord record;
  if (!ReadSemaphoreRecord(record) || record.UpdateCounter == LastSeenUpdate()) return;
  WorkArea& a = *CurrentWorkArea();
  for (auto& t : B.Slots) {
    if (!t) continue;
    ReadAnchor(B, *t);
    t->Path.clear();
  }
  B.FileSize = platform::os::FileSize(B.File);
  SetLastSeenUpdate(record.UpdateCounter);
  RefreshRecCount();
  if (a.Table.CurrentRecord > a.Table.RecordCount) {
    GoPhantomEnd(a);
    if (B.Controlling() != nullptr) {
      GoAfterLast(B, *B.Controlling());
      B.Controlling()->Eof = true;
    }
    return;
  }
  if (a.Table.CurrentRecord >= 1) ReadCurrent(a, a.Table.CurrentRecord);
  if (!B.NaturalOrder) SoftSyncIndex();
}

}  // namespace ndx

void SyncIndex() {
  IndexBlock* b = ndx::CurrentBlock();
  if (b == nullptr || b->Controlling() == nullptr) return;
  const bool natural = b->NaturalOrder;
  b->NaturalOrder = false;
  ndx::SyncTag(*b, *b->Controlling(), true);
  b->NaturalOrder = natural;
}

void SoftSyncIndex() {
  IndexBlock* b = ndx::CurrentBlock();
  if (b == nullptr || b->Controlling() == nullptr) return;
  WorkArea& a = *CurrentWorkArea();
  IndexTag& t = *b->Controlling();
  if (a.Table.CurrentRecord < 1 || a.Table.CurrentRecord > a.Table.RecordCount) {
    ndx::GoAfterLast(*b, t);
    t.Eof = true;
    return;
  }
  std::array<uint8_t, mdx::kMaxKeyLength + 1> key{};
  ndx::BuildKey(a, t, key.data());
  const ndx::SeekResult r = ndx::Seek(*b, t, key.data());
  if (r.Found) {
    if (t.Unique) return;
    for (;;) {
      if (ndx::CurrentRecordOf(t) == a.Table.CurrentRecord) return;
      if (!ndx::StepNext(*b, t) || !ndx::KeysEqual(t, ndx::CurrentItemKey(t), key.data())) break;
    }
  }
  if (!ndx::SatisfiesFor(t)) return;
  ReportError(212, "Record with key: \"" + ndx::KeyText(key.data(), t.KeyLength) +
                       "\" not in index: " + ndx::TagLabel(*b, t) + ". [SoftSyncIndex]");
}

void Set_Order_To(int N) {
  WorkArea* a = CurrentWorkArea();
  IndexBlock* b = a == nullptr ? nullptr : a->Index;
  const int count = b == nullptr ? 0 : b->TagCount;
  if (N > count || N < 0)
    ndx::ReportAlways(220, "Invalid Index Order Specified: SET_ORDER_TO. [Set_Order_To(" +
                               std::to_string(N) + ")] (DBF=" + (a ? a->Table.FileName : "") + ")");
  if (b == nullptr) return;
  if (N == 0) {
    b->NaturalOrder = true;
    return;
  }
  try {
    ndx::ReadHoldScope hold;
    ndx::ChangeOrder(*a, *b, N);
    for (int s = 1; s <= mdx::kMaxTags; ++s) {
      IndexTag* t = b->Slots[static_cast<size_t>(s)].get();
      if (t == nullptr) continue;
      ndx::SyncTag(*b, *t, s == 1);
      ndx::RememberRecordKey(*t);
    }
  } catch (const EMorvaneError&) {
    // the order stays as far as it got
  }
}

void SetOrderToTag(const std::string& Name) {
  const std::string wanted = UpperText(Trim(Name.substr(0, std::min<size_t>(Name.size(), 10))));
  if (wanted.empty()) {
    Set_Order_To(0);
    return;
  }
  WorkArea* a = CurrentWorkArea();
  IndexBlock* b = a == nullptr ? nullptr : a->Index;
  if (b != nullptr) {
    for (int k = 1; k <= b->TagCount; ++k) {
      if (mdx::TagNameOf(b->Header.data(), k).rfind(wanted, 0) == 0) {
        Set_Order_To(k);
        return;
      }
    }
  }
  ndx::ReportAlways(220, "Invalid Index Order Specified: SET_ORDER_TO. [SetOrderToTag(" + Name +
                             ")] (DBF=" + (a ? a->Table.FileName : "") + ")");
}

int CurrentOrder() {
  IndexBlock* b = ndx::CurrentBlock();
  if (b == nullptr || b->NaturalOrder || b->Controlling() == nullptr) return 0;
  return b->Controlling()->TagNumber;
}

}  // namespace morvane

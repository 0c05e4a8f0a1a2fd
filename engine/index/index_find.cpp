// Find: seeking a key text in the controlling tag and positioning the work area on the first
// visible record whose key matches (partly, or in full with exact matching on).
#include <cstring>

#include "engine/index/index_errors.h"
#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"

namespace morvane {

namespace {

// The area and its controlling tag at end of file, the seek failed.
void NotFound(WorkArea& A, IndexBlock& B, IndexTag& T) {
  GoPhantomEnd(A);
  ndx::GoAfterLast(B, T);
  T.Eof = true;
  IndexState.Found = false;
}

}  // namespace

bool IndexFound() { return IndexState.Found; }

bool SetExactOn() {
  const bool previous = IndexState.ExactFind;
  IndexState.ExactFind = true;
  return previous;
}

bool SetExactOff() {
  const bool previous = IndexState.ExactFind;
  IndexState.ExactFind = false;
  return previous;
}

void Find(const std::string& Key) {
  Errors.DbfError = 0;
  WorkArea* a = CheckInUse("Find");
  if (a == nullptr) return;
  IndexBlock* b = a->Index;
  if (b == nullptr || b->Controlling() == nullptr)
    ndx::ReportAlways(221, "Index not open. (DBF=" + a->Table.FileName + ") [Find]");
  if (b->NaturalOrder) {
    ReportError(254, "Cannot use Find() with index order 0 (natural order) [Find]");
    return;
  }
  if (Key.empty()) return;
  const std::string text = Key.substr(0, std::min<size_t>(Key.size(), mdx::kMaxKeyLength));
  IndexTag& t = *b->Controlling();
  IndexState.Found = false;

  ndx::ReadHoldScope hold;
  ndx::RefreshIfChanged(*b);
  if (t.Path.empty() || a->Table.RecordCount == 0 || t.CountsAsEmpty()) {
    if (t.CountsAsEmpty() || !ndx::GoFirstKey(*b, t)) {
      NotFound(*a, *b, t);
      return;
    }
  }
  std::array<uint8_t, mdx::kMaxKeyLength + 1> search{};
  const size_t length = ndx::SearchKey(*a, t, text, search.data());

  const ndx::SeekResult r = ndx::Seek(*b, t, search.data());
  t.Eof = false;
  if (r.AtEnd && !ndx::GoLastKey(*b, t)) {
    NotFound(*a, *b, t);
    return;
  }
  if (!ReadCurrent(*a, ndx::CurrentRecordOf(t))) return;
  while (!RecordVisible()) {
    if (!ndx::StepNext(*b, t)) {
      t.Eof = true;
      break;
    }
    if (!ReadCurrent(*a, ndx::CurrentRecordOf(t))) return;
  }
  const uint8_t* stored = ndx::CurrentItemKey(t);
  bool equal;
  if (t.Compare.Kind == mdx::KeyKind::Decimal) {
    equal = mdx::CompareDecimal(stored, search.data()) == 0;
  } else {
    const size_t over = t.CKey && !IndexState.ExactFind && length < t.KeyLength ? length : t.KeyLength;
    equal = std::memcmp(stored, search.data(), over) == 0;
  }
  if (!equal || t.Eof) {
    NotFound(*a, *b, t);
    return;
  }
  IndexState.Found = true;
  t.Bof = false;
  ndx::RememberCurrentKey(t);
}

}  // namespace morvane

// Keeping open tags in step with appended and rewritten records: the command layer's hooks
// IndexSaveOldKeys (remember every tag's key of the record as stored), IndexReplaceKeys and
// AppendNewKey. Key insertion and deletion with page splits are not built yet: until they are,
// an append, or a rewrite that changes a key, on a table with an open index is reported as an
// error instead of leaving the index silently out of step.
#include <cstring>

#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"

namespace morvane::ndx {

namespace {

void NotAvailable(const char* Where) {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return;
  const IndexTag* t = b->Controlling();
  ReportError(254, std::string("Index maintenance is not available: ") +
                       (t != nullptr ? TagLabel(*b, *t) : b->FileName) + " [" + Where + "]");
}

}  // namespace

void HookIndexSaveOldKeys() {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return;
  SyncIndex();
  WorkArea& a = *CurrentWorkArea();
  for (auto& t : b->Slots) {
    if (!t) continue;
    BuildKey(a, *t, t->CurrentKey.data());
    t->OldRecord = a.Table.CurrentRecord;
    std::memcpy(t->OldKey.data(), t->CurrentKey.data(), t->KeyLength);
  }
}

void HookIndexReplaceKeys() {
  IndexBlock* b = CurrentBlock();
  if (b == nullptr) return;
  WorkArea& a = *CurrentWorkArea();
  // A rewrite that leaves every key as it was needs no change to any page.
  std::array<uint8_t, mdx::kMaxKeyLength + 1> key{};
  for (auto& t : b->Slots) {
    if (!t) continue;
    BuildKey(a, *t, key.data());
    if (t->HasFor() || t->OldRecord != a.Table.CurrentRecord ||
        std::memcmp(key.data(), t->OldKey.data(), t->KeyLength) != 0) {
      NotAvailable("CompareKeys");
      return;
    }
  }
}

void HookAppendNewKey() { NotAvailable("AppendNewKey"); }

}  // namespace morvane::ndx

// The index manager's side of the command layer's hook table: IndexInit installs the hooks; the
// move hooks answer in key order (or in record order when the area is in natural order); the
// layer's reset at engine start-up.
#include "engine/expr/expr_hooks.h"
#include "engine/index/index_errors.h"
#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"

namespace morvane {

namespace ndx {
// Index maintenance (index_maintain.cpp).
void HookIndexSaveOldKeys();
void HookIndexReplaceKeys();
void HookAppendNewKey();
}  // namespace ndx

namespace {

bool HookIndexActive() { return ndx::CurrentBlock() != nullptr; }

// The area, its block and the controlling tag for a move; raises 221 without an index.
struct MoveContext {
  WorkArea* Area = nullptr;
  IndexBlock* Block = nullptr;
  IndexTag* Tag = nullptr;  // null in natural order
};

MoveContext Context(const char* Where) {
  MoveContext c;
  c.Area = CurrentWorkArea();
  c.Block = c.Area == nullptr ? nullptr : c.Area->Index;
  if (c.Block == nullptr)
    ndx::ReportAlways(221, "Index not open. (DBF=" + (c.Area ? c.Area->Table.FileName : "") + ") [" +
                               Where + "]");
  if (!c.Block->NaturalOrder) c.Tag = c.Block->Controlling();
  return c;
}

int32_t FirstOrLast(bool First) {
  try {
    MoveContext c = Context(First ? "_FindFirstRec" : "_FindLastRec");
    DbfControlBlock& t = c.Area->Table;
    if (c.Tag == nullptr) {
      RefreshRecCount();
      return First || t.RecordCount < 1 ? 1 : t.RecordCount;
    }
    ndx::RefreshIfChanged(*c.Block);
    IndexTag& tag = *c.Tag;
    const bool any = !tag.CountsAsEmpty() &&
                     (First ? ndx::GoFirstKey(*c.Block, tag) : ndx::GoLastKey(*c.Block, tag));
    if (!any) {
      tag.Bof = tag.Eof = true;
      return t.RecordCount + 1;
    }
    tag.Bof = tag.Eof = false;
    ndx::RememberCurrentKey(tag);
    return ndx::CurrentRecordOf(tag);
  } catch (const EMorvaneError&) {
    return 0;
  }
}

int32_t HookIndexFirst() { return FirstOrLast(true); }
int32_t HookIndexLast() { return FirstOrLast(false); }

int32_t NextOrPrev(bool Next) {
  try {
    MoveContext c = Context(Next ? "_FindNextRec" : "_FindPriorRec");
    DbfControlBlock& t = c.Area->Table;
    const int32_t current = t.CurrentRecord;
    if (c.Tag == nullptr) {
      if (Next) {
        RefreshRecCount();
        if (current >= t.RecordCount) {
          t.AtEof = true;
          return current;
        }
        return current + 1;
      }
      if (current <= 1) {
        t.AtBof = true;
        return current;
      }
      return current - 1;
    }
    ndx::RefreshIfChanged(*c.Block);
    IndexTag& tag = *c.Tag;
    if (tag.CountsAsEmpty()) {
      (Next ? tag.Eof : tag.Bof) = true;
      return current;
    }
    // A tag that was never positioned (or lost its position) finds the current record first.
    if (tag.Path.empty()) ndx::SyncTag(*c.Block, tag, true);
    if (Errors.DbfError != 0 && tag.Path.empty()) return 0;
    const bool moved = Next ? ndx::StepNext(*c.Block, tag) : ndx::StepPrev(*c.Block, tag);
    if (!moved || !ndx::OnItem(tag)) {
      (Next ? tag.Eof : tag.Bof) = true;
      return current;
    }
    tag.Eof = tag.Bof = false;
    ndx::RememberCurrentKey(tag);
    return ndx::CurrentRecordOf(tag);
  } catch (const EMorvaneError&) {
    return 0;
  }
}

int32_t HookIndexNext() { return NextOrPrev(true); }
int32_t HookIndexPrev() { return NextOrPrev(false); }

IndexTag* ControllingTag() {
  IndexBlock* b = ndx::CurrentBlock();
  return b == nullptr || b->NaturalOrder ? nullptr : b->Controlling();
}

bool HookIndexEof() {
  IndexTag* t = ControllingTag();
  WorkArea* a = CurrentWorkArea();
  return t != nullptr ? t->Eof : (a == nullptr || a->Table.AtEof);
}

bool HookIndexBof() {
  IndexTag* t = ControllingTag();
  WorkArea* a = CurrentWorkArea();
  return t != nullptr ? t->Bof : (a == nullptr || a->Table.AtBof);
}

void HookIndexSetEof() {
  if (IndexTag* t = ControllingTag()) {
    t->Eof = true;
  } else if (WorkArea* a = CurrentWorkArea()) {
    a->Table.AtEof = true;
  }
}

void HookIndexSetBof() {
  if (IndexTag* t = ControllingTag()) {
    t->Bof = true;
  } else if (WorkArea* a = CurrentWorkArea()) {
    a->Table.AtBof = true;
  }
}

void HookIndexAfterMove() {
  if (IndexTag* t = ControllingTag()) ndx::RememberRecordKey(*t);
}

void HookIndexZap() { Reindex(); }

}  // namespace

void ndx::ResetIndexLayer() {
  IndexState = IndexManagerState{};
  IndexBuildSettings = IndexBuildSettingsState{};
  ResetSemaphores();
}

void IndexInit() {
  if (IndexHooks.IndexActive != nullptr && IndexHooks.IndexActive != &HookIndexActive) {
    ReportError(254, "ERROR: BOTH INDEX4 and XQNDX units linked in. [IndexInit]");
    return;
  }
  if (!ParserLinked) {
    ReportError(254,
                "The XQPARSER unit was compiled with DYNAMIC_TYPE undefined and in the XQNDX unit "
                "DYNAMIC_TYPE is defined. Undefine DYNAMIC_TYPE and rebuild XQNDX [IndexInit]");
    return;
  }
  IndexHooks.IndexActive = &HookIndexActive;
  IndexHooks.IndexFirst = &HookIndexFirst;
  IndexHooks.IndexLast = &HookIndexLast;
  IndexHooks.IndexNext = &HookIndexNext;
  IndexHooks.IndexPrev = &HookIndexPrev;
  IndexHooks.IndexEof = &HookIndexEof;
  IndexHooks.IndexBof = &HookIndexBof;
  IndexHooks.IndexSetEof = &HookIndexSetEof;
  IndexHooks.IndexSetBof = &HookIndexSetBof;
  IndexHooks.SyncIndex = &SyncIndex;
  IndexHooks.IndexAfterMove = &HookIndexAfterMove;
  IndexHooks.IndexSaveOldKeys = &ndx::HookIndexSaveOldKeys;
  IndexHooks.IndexReplaceKeys = &ndx::HookIndexReplaceKeys;
  IndexHooks.AppendNewKey = &ndx::HookAppendNewKey;
  IndexHooks.IndexZap = &HookIndexZap;
  IndexHooks.IndexClose = &IndexClose;
  IndexHooks.SetReadSemaphoreProc = &SetReadSemaphoreProc;
  IndexHooks.SetLockSemaphoreProc = &SetLockSemaphoreProc;
  IndexState.Found = false;
  IndexState.ExactFind = false;
  IndexState.MoveSlot = 1;
  IndexState.KeySlot = 1;
}

}  // namespace morvane

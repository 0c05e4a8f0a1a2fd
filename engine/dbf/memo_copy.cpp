// Copying one memo between the memo files of two work areas (used by CopyTo): the source memo is
// read by its block header, or as plain dBASE III text up to the first 0x1A or 0 byte, and
// appended at the end of the current area's memo file in the target's own layout. The bytes are
// copied as stored (no code-page conversion); the source's read hook and the target's write hook
// apply on the way.
#include <vector>

#include "engine/dbf/memo.h"
#include "engine/dbf/memo_internal.h"
#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"

namespace morvane {

using namespace memo;

int32_t CopyMemo(int sourceArea, int32_t block) {
  if (block == 0) return 0;
  WorkArea* target = CheckInUse("CopyMemo()");
  if (target == nullptr) return 0;
  MemoControlBlock* targetMemo = CurrentMemo("CopyMemo()");
  if (targetMemo == nullptr) return 0;
  WorkArea* source = GetWorkArea(sourceArea);
  if (source == nullptr || source->Memo == nullptr) {
    ReportError(1019, (source ? source->Table.FileName : std::string()) +
                          " No Memo Field [CopyMemo()]");
    return 0;
  }

  BlobDescriptor in;
  if (!OpenRead(*source, *source->Memo, in, block, false)) return 0;
  in.Copying = true;
  in.ZeroEndsText = true;
  BlobDescriptor out;
  if (!OpenWrite(*target, *targetMemo, out, false, "CopyMemo()", -1)) return 0;
  out.Copying = true;
  const int32_t newBlock = out.Block;

  std::vector<char> piece(static_cast<size_t>(kPieceSize));
  for (;;) {
    Errors.DbfError = 0;
    const int32_t got = ReadStream(*source, *source->Memo, in, piece.data(), kPieceSize);
    if (Errors.DbfError != 0) return 0;  // reported (30); the target's lock is released
    if (got <= 0) break;
    if (WriteStream(*target, *targetMemo, out, piece.data(), got) != got) return 0;
  }
  FinishStream(*target, *targetMemo, out);
  if (Errors.DbfError != 0) return 0;
  // An empty source memo leaves no copy.
  return in.Position > 0 ? newBlock : 0;
}

}  // namespace morvane

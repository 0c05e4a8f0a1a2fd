// Opening and closing an area's index file: SetIndexTo with the checks of the header and of
// every tag (anchor, key expression, key type and length, page geometry), IndexClose with the
// anchor writes and the semaphore logout, and GetTagList.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine/index/index_errors.h"
#include "engine/index/index_internal.h"
#include "engine/index/xqndx.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/startup.h"
#include "engine/util/texts.h"

namespace morvane {

namespace os = platform::os;

namespace ndx {

namespace {

// Outside quotes: blanks and tabs removed, letters upper case; both quote characters become
// the double quote. Quoted texts keep their case (they are values).
std::string NormaliseExpr(const std::string& Text) {
  std::string out;
  char quote = 0;
  for (char c : Text) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
        out += '"';
      } else {
        out += c;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      out += '"';
    } else if (c != ' ' && c != '\t') {
      out += UpperChar(c);
    }
  }
  return out;
}

struct TagFailure {
  uint16_t Code = 0;
};

// Compiles Text with error checking off; null when it does not compile.
CompiledExpr* CompileQuietly(const std::string& Text) {
  const bool check = SetErrorCheck(false);
  CompiledExpr* e = nullptr;
  try {
    e = AssignExpr(Text);
  } catch (const EMorvaneError&) {
    e = nullptr;
  }
  SetErrorCheck(check);
  Errors.DbfError = 0;
  return e;
}

}  // namespace

BlankRecordScope::BlankRecordScope(WorkArea& A)
    : a_(A), saved_(A.Table.RecordBuffer), record_(A.Table.CurrentRecord) {
  std::fill(a_.Table.RecordBuffer.begin(), a_.Table.RecordBuffer.end(), ' ');
  a_.Table.CurrentRecord = a_.Table.RecordCount + 1;
}

BlankRecordScope::~BlankRecordScope() {
  a_.Table.RecordBuffer = std::move(saved_);
  a_.Table.CurrentRecord = record_;
}

ReadHoldScope::ReadHoldScope() { SetReadSemaphoreProc(true); }

ReadHoldScope::~ReadHoldScope() {
  try {
    SetReadSemaphoreProc(false);
  } catch (const EMorvaneError&) {
    // a failing release was reported; a destructor must not pass it on
  }
}

std::string ResolveIndexName(const WorkArea* A, const std::string& Name) {
  std::string n = Trim(Name);
  if (n.empty()) return A == nullptr ? n : ForceExtension(A->Table.FileName, "MDX");
  n = DefaultExtension(n, "MDX");
  if (n.find('/') == std::string::npos && A != nullptr) n = SplitPath(A->Table.FileName).Dir + n;
  return n;
}

void FreeTag(IndexTag& T) {
  FreeExpr(T.KeyExpr);
  FreeExpr(T.ForExpr);
}

std::unique_ptr<IndexTag> OpenTag(IndexBlock& B, int K) {
  WorkArea& a = *CurrentWorkArea();
  auto t = std::make_unique<IndexTag>();
  t->TagNumber = K;
  t->Name = mdx::TagNameOf(B.Header.data(), K);
  auto fail = [&](uint16_t code) -> std::unique_ptr<IndexTag> {
    FreeTag(*t);
    throw TagFailure{code};
  };
  t->HeaderBlock = mdx::Get32(mdx::TagEntry(B.Header.data(), K) + mdx::kTagHeaderBlock);
  const uint64_t anchorAt = uint64_t{t->HeaderBlock} * mdx::kBlockSize;
  if (t->HeaderBlock < mdx::kHeaderSize / mdx::kBlockSize ||
      anchorAt + mdx::kAnchorSize > static_cast<uint64_t>(B.FileSize))
    return fail(222);
  if (os::FileReadAt(B.File, anchorAt, t->Anchor.data(), t->Anchor.size()) !=
      static_cast<int64_t>(t->Anchor.size()))
    return fail(222);
  const uint8_t* anchor = t->Anchor.data();

  const std::string keyText = NormaliseExpr(mdx::FieldText(anchor + mdx::kAncKeyExpr, mdx::kMaxExprText + 1));
  const std::string forText = NormaliseExpr(mdx::FieldText(anchor + mdx::kAncForExpr, mdx::kMaxExprText + 1));
  t->KeyExpr = CompileQuietly(keyText);
  if (t->KeyExpr == nullptr) return fail(222);
  if (!forText.empty()) {
    t->ForExpr = CompileQuietly(forText);
    if (t->ForExpr == nullptr || t->ForExpr->ResultType != 'L') return fail(222);
  }

  t->KeyLength = mdx::Get16(anchor + mdx::kAncKeyLength);
  if (t->KeyLength < 1 || t->KeyLength > mdx::kMaxKeyLength) return fail(266);
  const char stored = static_cast<char>(anchor[mdx::kAncKeyType]);
  switch (t->KeyExpr->ResultType) {
    case 'C':
      t->Compare.Kind = mdx::KeyKind::Text;
      t->CKey = true;
      if (stored != 'C') return fail(222);
      break;
    case 'N':
      t->Compare.Kind = mdx::KeyKind::Decimal;
      t->Decimals = t->KeyExpr->ResultDecimals;
      if ((stored != 'N' && stored != 'F') || t->KeyLength != 12) return fail(222);
      break;
    case 'D':
      t->Compare.Kind = mdx::KeyKind::Double;
      if (stored != 'D' || t->KeyLength != 8) return fail(222);
      break;
    default:
      return fail(222);
  }
  // The page geometry must be the one the key length gives, or pages would be misread.
  t->ItemLength = mdx::Get16(anchor + mdx::kAncItemLength);
  t->MaxKeys = mdx::Get16(anchor + mdx::kAncMaxKeys);
  if (t->ItemLength != mdx::ItemLength(t->KeyLength) || t->MaxKeys < 1 ||
      t->MaxKeys > mdx::MaxKeysPerPage(t->ItemLength))
    return fail(222);
  const uint32_t root = t->RootBlock();
  if (root < mdx::kHeaderSize / mdx::kBlockSize || root % 2 != 0 ||
      uint64_t{root} * mdx::kBlockSize + mdx::kPageSize > static_cast<uint64_t>(B.FileSize))
    return fail(222);
  const uint8_t format = anchor[mdx::kAncFormat];
  t->Compare.Descending = (format & mdx::kFormatDescending) != 0;
  t->Unique = (format & mdx::kFormatUnique) != 0;
  t->ForSeen = anchor[mdx::kAncForSeen] != 0;

  if (t->CKey) {
    BlankRecordScope blank(a);
    const void* value = EvaluateExpr(t->KeyExpr);
    if (value == nullptr || ResultText(t->KeyExpr).size() != t->KeyLength) return fail(266);
  }
  if (a.Table.RecordCount == 0) t->Bof = t->Eof = true;
  return t;
}

}  // namespace ndx

namespace {
// The index layer's part in the engine's start-up. Registered here, beside SetIndexTo, so that
// it is linked into every program that opens indexes.
EngineLayerRegistrar registrar({"index", kLayerOrderIndex, &ndx::ResetIndexLayer, &IndexInit, nullptr});
}  // namespace

bool SetIndexTo(const std::string& FileName) {
  WorkArea* a = CheckInUse("SetIndexTo");
  if (a == nullptr) return false;
  const std::string name = ndx::ResolveIndexName(a, FileName);
  IndexClose();
  Errors.DbfError = 0;
  if (!FileExists(name)) {
    ReportError(2, "SetIndexTo(" + name + ")");
    return false;
  }
  const int override = WorkAreas.FileModeOverride;
  const bool sharedOverride = override >= 0 && (override & 0x70) == os::fmShareDenyNone;
  if (override < 0 || sharedOverride) HandleSemaphore("LOGIN");
  const auto logout = [] {
    try {
      HandleSemaphore("LOGOUT");
    } catch (const EMorvaneError&) {
      // the open's own failure is the one to report
    }
  };

  const bool shared = WorkAreas.Sharing && !a->Exclusive;
  unsigned mode = os::fmOpenReadWrite | (shared ? os::fmShareDenyNone : os::fmShareExclusive);
  if (override >= 0) mode = static_cast<unsigned>(override);
  os::SetLastError(0);
  const os::Handle h = os::FileOpen(name, mode);
  if (h == os::kInvalidHandle) {
    const uint32_t code = os::LastError();
    logout();
    ndx::ReportAlways(static_cast<uint16_t>(code != 0 ? code : 222), "Unable to open index: " + name);
  }
  auto block = std::make_unique<IndexBlock>();
  block->File = h;
  block->FileName = name;
  block->Shared = (mode & 0x70) == os::fmShareDenyNone;
  block->FileSize = os::FileSize(h);
  bool headerOk = block->FileSize >= static_cast<int64_t>(mdx::kMinFileSize);
  if (headerOk) {
    ndx::ReadHoldScope hold;
    headerOk = os::FileReadAt(h, 0, block->Header.data(), mdx::kHeaderSize) ==
               static_cast<int64_t>(mdx::kHeaderSize);
  }
  // Only the geometry this manager reads (1024-byte pages, 32-byte tag entries) is accepted.
  const uint8_t* hdr = block->Header.data();
  headerOk = headerOk && mdx::Get16(hdr + mdx::kHdrPageSize) == mdx::kPageSize &&
             mdx::Get16(hdr + mdx::kHdrBlocksPerPage) == 2 &&
             hdr[mdx::kHdrEntryLength] == mdx::kTagEntrySize && hdr[mdx::kHdrTagCount] <= mdx::kMaxTags;
  if (!headerOk) {
    os::FileClose(h);
    logout();
    ndx::ReportAlways(222, "Unable to open index: " + name);
  }
  block->TagCount = hdr[mdx::kHdrTagCount];
  a->Index = block.release();
  IndexBlock& b = *a->Index;
  for (int k = 1; k <= b.TagCount; ++k) {
    uint16_t failure = 0;
    try {
      ndx::ReadHoldScope hold;
      b.Slots[static_cast<size_t>(k)] = ndx::OpenTag(b, k);
    } catch (const ndx::TagFailure& f) {
      failure = f.Code;
    } catch (const std::bad_alloc&) {
      failure = 217;
    }
    if (failure != 0) {
      IndexClose();
      if (failure == 266) ndx::ReportAlways(266, "Incorrect key length: Must be 1 to 100. " + name);
      if (failure == 217) ndx::ReportAlways(217, "Insufficient memory to open index: " + name);
      ndx::ReportAlways(222, "Invalid dBASE key expression or corrupted index file " + name);
    }
  }
  // The first key is read here, so that a damaged tree is refused with its own message rather
  // than through the failed move of the command layer.
  IndexTag* first = b.Slots[1].get();
  if (first != nullptr && !first->CountsAsEmpty()) {
    try {
      ndx::ReadHoldScope hold;
      ndx::GoFirstKey(b, *first);
    } catch (const EMorvaneError&) {
      const uint16_t code = Errors.DbfError;
      IndexClose();
      Errors.DbfError = code;
      throw;
    }
  }
  GoTop();
  return Errors.DbfError == 0;
}

void IndexClose() {
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Index == nullptr) return;
  std::unique_ptr<IndexBlock> block(a->Index);
  a->Index = nullptr;
  IndexBlock& b = *block;
  const bool check = SetErrorCheck(false);
  std::string firstFailure;
  uint16_t failureCode = 0;
  const auto note = [&](const EMorvaneError& e) {
    if (failureCode == 0) {
      failureCode = Errors.DbfError;
      firstFailure = e.what();
    }
  };
  for (int s = 1; s <= mdx::kMaxTags; ++s) {
    std::unique_ptr<IndexTag>& t = b.Slots[static_cast<size_t>(s)];
    if (!t) continue;
    if (t->AnchorChanged) {
      try {
        const bool lock = b.Shared && WorkAreas.Sharing;
        if (lock && !os::LockRange(b.File, 0, 1))
          ndx::ReportAlways(static_cast<uint16_t>(os::LastError()),
                            "Could not lock index for writing anchor node " + ndx::TagLabel(b, *t));
        try {
          ndx::WriteAnchor(b, *t);
        } catch (const EMorvaneError&) {
          if (lock) os::UnlockRange(b.File, 0, 1);
          throw;
        }
        if (lock && !os::UnlockRange(b.File, 0, 1))
          ndx::ReportAlways(static_cast<uint16_t>(os::LastError()),
                            "Could not unlock index after writing anchor node " + ndx::TagLabel(b, *t));
      } catch (const EMorvaneError& e) {
        note(e);
      }
    }
    ndx::FreeTag(*t);
    t.reset();
  }
  if (b.HeaderModified) os::FileWriteAt(b.File, 0, b.Header.data(), mdx::kHeaderSize);
  if (!os::FileClose(b.File)) ReportError(static_cast<uint16_t>(os::LastError()), "Error closing index file:  " + b.FileName);
  try {
    HandleSemaphore("LOGOUT");
  } catch (const EMorvaneError& e) {
    note(e);
  }
  SetErrorCheck(check);
  if (failureCode != 0) {
    Errors.DbfError = failureCode;
    throw EMorvaneError(firstFailure);
  }
}

void GetTagList(std::vector<std::string>& List, const std::string& FileName) {
  List.clear();
  const std::string name = ndx::ResolveIndexName(CurrentWorkArea(), FileName);
  if (name.empty() || !FileExists(name)) return;
  const os::Handle h = os::FileOpen(name, os::fmOpenRead | os::fmShareDenyNone);
  if (h == os::kInvalidHandle) return;
  std::array<uint8_t, mdx::kHeaderSize> header{};
  const int64_t size = os::FileSize(h);
  if (os::FileReadAt(h, 0, header.data(), header.size()) == static_cast<int64_t>(header.size())) {
    const int count = std::min<int>(header[mdx::kHdrTagCount], mdx::kMaxTags);
    for (int k = 1; k <= count; ++k) {
      const uint64_t at = uint64_t{mdx::Get32(mdx::TagEntry(header.data(), k))} * mdx::kBlockSize;
      std::array<uint8_t, mdx::kAnchorSize> anchor{};
      if (at == 0 || at + anchor.size() > static_cast<uint64_t>(size) ||
          os::FileReadAt(h, at, anchor.data(), anchor.size()) != static_cast<int64_t>(anchor.size()))
        continue;
      const std::string tag = mdx::TagNameOf(header.data(), k);
      const std::string key = mdx::FieldText(anchor.data() + mdx::kAncKeyExpr, mdx::kMaxExprText + 1);
      if (tag.empty() || key.empty()) continue;
      const uint8_t format = anchor[mdx::kAncFormat];
      List.push_back(tag + ((format & mdx::kFormatDescending) ? ",T," : ",F,") +
                     ((format & mdx::kFormatUnique) ? "T," : "F,") + key);
      List.push_back(mdx::FieldText(anchor.data() + mdx::kAncForExpr, mdx::kMaxExprText + 1));
    }
  }
  os::FileClose(h);
}

}  // namespace morvane

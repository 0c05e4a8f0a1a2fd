// Fuzz entry: a memo file beside the fixed memo table of fixture_tables.h. The first byte of the
// input chooses the layout (MemoKind, modulo 3: dBASE III, dBASE IV, FoxPro) and so the table's
// version byte; the remaining bytes are the memo file. Every memo of every record is read in the
// three ways the memo layer offers (whole text, stream, line view), the memo fields are searched
// and the table copied with its memos; on the exclusive table two memos are then written (a text
// and a stream) and everything is read again.
//
// Besides the sanitizers' checks the entry aborts when
// - a memo just written does not read back as written;
// - a memo whose stored bytes read before a write reads afterwards as bytes that do not start
//   with those (a memo written at the end of the file may only lengthen a memo that ran into the
//   end of the file); a dBASE IV file with a free-block chain is exempt, since the new memo may
//   lawfully take blocks that the chain calls free;
// - the record hooks (which leave every byte as it is) change what any memo reads as.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/memo.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "tests/fuzz/targets/fixture_tables.h"
#include "tests/fuzz/targets/fuzz_env.h"
#include "tests/fuzz/targets/fuzz_targets.h"

namespace fuzz {

namespace {

using namespace morvane;

volatile uint8_t gSink;

constexpr int kMemoFields[] = {2, 4};  // NOTES, EXTRA

[[noreturn]] void Finding(const char* what, int32_t record, int field) {
  std::fprintf(stderr, "agemill fuzz: %s (record %d, field %d)\n", what, record, field);
  std::abort();
}

// The fixed table of each kind as bytes, built once.
const std::vector<uint8_t>& TableBytes(MemoKind kind) {
  static std::vector<uint8_t> bytes[kMemoKinds];
  std::vector<uint8_t>& b = bytes[static_cast<int>(kind)];
  if (b.empty()) {
    const std::string path = ScratchFile("mtbuild.dbf");
    StartEngine(ErrorMode::kRaised);
    Guarded([&] { WriteMemoTable(path, kind); });
    StopEngine();
    b = ReadScratch(path);
    RemoveScratch(path);
    RemoveScratch(MemoFileOf(path, kind));
    if (b.empty()) std::abort();
  }
  return b;
}

// Leaves every byte as it is: with hooks installed the memo layer moves memo bytes in units.
void PassThrough(char* /*buffer*/, size_t /*count*/) {}

struct MemoRead {
  bool Ok = false;
  std::string Text;
  bool operator==(const MemoRead&) const = default;
};

int32_t BlockOf(int field) {
  int32_t block = 0;
  const uint8_t* slot = FieldAddress(field);
  if (slot != nullptr) std::memcpy(&block, slot, sizeof block);
  return block;
}

// The memo as a stream of its stored bytes (no conversion: whether a memo counts as text depends
// on all of its bytes, so a memo that grows may convert differently): read in pieces to its end,
// then sought about and read again. The result holds the bytes up to the end.
MemoRead ReadAsStream(int32_t block, int64_t bound) {
  MemoRead m;
  Guarded([&] {
    Errors.DbfError = 0;
    if (CreateBlobDescriptor(false, block, 1) == 0 && Errors.DbfError != 0) return;
    char piece[777];
    int64_t pieces = 0;
    for (;;) {
      const int32_t got = ReadBlobStream(piece, sizeof piece);
      if (Errors.DbfError != 0) return;
      if (got <= 0) break;
      if (++pieces > bound) Finding("a memo stream read on past the end of its file", RecNo(), 0);
      m.Text.append(piece, static_cast<size_t>(got));
    }
    m.Ok = true;
    gSink = static_cast<uint8_t>(SeekBlobStream(0, 2));
    SeekBlobStream(-5, 1);
    gSink = static_cast<uint8_t>(ReadBlobStream(piece, 10));
    SeekBlobStream(3, 0);
    gSink = static_cast<uint8_t>(ReadBlobStream(piece, 3));
    SeekBlobStream(-1000, 1);
    gSink = static_cast<uint8_t>(ReadBlobStream(piece, 1));
  });
  Guarded([] { DestroyBlobDescriptor(); });
  if (!m.Ok) m.Text.clear();
  return m;
}

// The memo through the line view, every paragraph.
void ReadAsLines(int32_t block) {
  Guarded([&] {
    MemoTextFile text;
    text.AssignMemo(block);
    text.Reset();
    std::string line;
    for (size_t n = 0; text.ReadLn(line); ++n) {
      if (n > MemoTextFile::kMaxLines) Finding("the line view gave more lines than it holds", RecNo(), 0);
      gSink = Touch(line.data(), line.size());
    }
  });
}

// Every memo of every record: its whole text (converted as the table says), its stream (what the
// result holds), its lines.
std::vector<MemoRead> ReadEveryMemo(int64_t bound) {
  std::vector<MemoRead> reads;
  int32_t count = 0;
  Guarded([&] { count = RecCount(); });
  for (int32_t r = 1; r <= count; ++r) {
    bool on = false;
    Guarded([&] {
      Errors.DbfError = 0;
      Go(r);
      on = Errors.DbfError == 0 && RecNo() == r;
    });
    for (int field : kMemoFields) {
      MemoRead m;
      if (on) {
        const int32_t block = BlockOf(field);
        Guarded([&] {
          std::string text;
          ReadMemoText(block, text);
          gSink = Touch(text.data(), text.size());
        });
        m = ReadAsStream(block, bound);
        ReadAsLines(block);
      }
      reads.push_back(m);
    }
  }
  return reads;
}

// The memo fields searched for a text, and the table copied with its memos (the copy read too).
void SearchAndCopy(int64_t bound) {
  for (const char* field : {"NOTES CONTAINED NOCASE", "EXTRA"}) {
    Guarded([&] {
      SearchState.Value = "line";
      Locate(field);
      for (int i = 0; i < 3 && !dEOF(); ++i) Continue();
    });
  }
  const std::string copy = ScratchFile("mcopy.dbf");
  const int area = CurrentArea();
  Guarded([&] { CopyTo(copy); });
  Guarded([&] {
    Select(2);
    Use(copy + " EXCLUSIVE", nullptr, 0);
    if (CurrentWorkArea() != nullptr) ReadEveryMemo(bound);
  });
  Guarded([] { CloseArea(); });
  Guarded([&] { Select(area); });
}

// What the writes did: the records rewritten, and whether anything else may have changed.
struct Written {
  int32_t TextBlock = 0;    // record 1's NOTES, from WriteMemoText
  int32_t StreamBlock = 0;  // record 2's EXTRA, through a write stream
  bool ChainInUse = false;  // a dBASE IV free-block chain was there before
};

const std::string kNewText = "A memo written on a damaged file, long enough for two blocks? " +
                             std::string(600, 'x') + "\r\nend";

Written WriteMemos(MemoKind kind) {
  Written w;
  WorkArea* a = CurrentWorkArea();
  if (a == nullptr || a->Memo == nullptr) return w;
  if (kind == MemoKind::Dbase4) {
    const int64_t size = platform::os::FileSize(a->Memo->File);
    uint8_t head[4] = {};
    const uint64_t bs = a->Memo->BlockSize;
    const uint64_t end = (static_cast<uint64_t>(std::max<int64_t>(size, 0)) + bs - 1) / bs;
    w.ChainInUse = platform::os::FileReadAt(a->Memo->File, 0, head, 4) != 4 ||
                   (head[0] | (head[1] << 8) | (head[2] << 16) | (uint64_t{head[3]} << 24)) != end;
  }
  Guarded([&] {
    Errors.DbfError = 0;
    Go(1);
    if (Errors.DbfError != 0) return;
    const int32_t block = WriteMemoText(kNewText, true);
    if (block == 0) return;
    std::memcpy(FieldAddress(2), &block, sizeof block);
    Replace();
    if (Errors.DbfError == 0) w.TextBlock = block;
  });
  Guarded([&] {
    Errors.DbfError = 0;
    Go(2);
    if (Errors.DbfError != 0) return;
    const int32_t block = CreateBlobDescriptor(false, 0, 2);
    if (block == 0) return;
    const std::string bytes(700, 's');
    WriteBlobStream(bytes.data(), static_cast<int32_t>(bytes.size()));
    SeekBlobStream(10, 0);
    WriteBlobStream("STREAM", 6);
    SeekBlobStream(0, 2);
    DestroyBlobDescriptor();
    if (Errors.DbfError != 0) return;
    std::memcpy(FieldAddress(4), &block, sizeof block);
    Replace();
    if (Errors.DbfError == 0) w.StreamBlock = block;
  });
  return w;
}

// The reads after the writes against those before them (see the file comment).
void CheckAfterWrites(const std::vector<MemoRead>& before, const std::vector<MemoRead>& after,
                      const Written& w) {
  if (before.size() != after.size()) Finding("the table changed its record count", 0, 0);
  for (size_t i = 0; i < after.size(); ++i) {
    const int32_t record = static_cast<int32_t>(i / 2 + 1);
    const int field = kMemoFields[i % 2];
    if (record == 1 && field == 2 && w.TextBlock != 0) {
      if (!after[i].Ok || after[i].Text != kNewText)
        Finding("a memo written from a text does not read back", record, field);
      continue;
    }
    if (record == 2 && field == 4 && w.StreamBlock != 0) {
      std::string expected(700, 's');
      expected.replace(10, 6, "STREAM");
      if (!after[i].Ok || after[i].Text != expected)
        Finding("a memo written as a stream does not read back", record, field);
      continue;
    }
    if (!before[i].Ok || w.ChainInUse) continue;
    if (!after[i].Ok || !after[i].Text.starts_with(before[i].Text)) {
      const std::string& was = before[i].Text;
      const std::string& now = after[i].Text;
      size_t at = 0;
      while (at < was.size() && at < now.size() && was[at] == now[at]) ++at;
      std::fprintf(stderr, "agemill fuzz: %zu bytes before, %s%zu after; first difference at %zu\n",
                   was.size(), after[i].Ok ? "" : "unreadable, ", now.size(), at);
      Finding("a memo stored before a write reads differently after it", record, field);
    }
  }
}

struct Pass {
  ErrorMode Mode;
  bool Exclusive;
  bool Hooks;
};

struct PassResult {
  std::vector<MemoRead> Before, After;
  Written Writes;
};

PassResult Run(MemoKind kind, const uint8_t* memo, size_t size, const Pass& p) {
  const std::string table = ScratchFile("mt.dbf");
  const std::vector<uint8_t>& tableBytes = TableBytes(kind);
  WriteScratch(table, tableBytes.data(), tableBytes.size());
  WriteScratch(MemoFileOf(table, kind), memo, size);
  // Every read moves at least one byte of the file.
  const int64_t bound = static_cast<int64_t>(size) + 16;
  PassResult result;
  StartEngine(p.Mode);
  Guarded([&] {
    Select(1);
    const std::string command = table + (p.Exclusive ? " EXCLUSIVE" : "");
    if (p.Hooks)
      UseWithHooks(command, nullptr, 0, &PassThrough, &PassThrough);
    else
      Use(command, nullptr, 0);
  });
  if (CurrentWorkArea() == nullptr) std::abort();  // the fixed table must open
  result.Before = ReadEveryMemo(bound);
  SearchAndCopy(bound);
  if (p.Exclusive) {
    result.Writes = WriteMemos(kind);
    result.After = ReadEveryMemo(bound);
    CheckAfterWrites(result.Before, result.After, result.Writes);
  }
  Guarded([] { CloseArea(); });
  StopEngine();
  return result;
}

}  // namespace

int FuzzMemoFile(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const MemoKind kind = static_cast<MemoKind>(data[0] % kMemoKinds);
  const PassResult plain = Run(kind, data + 1, size - 1, {ErrorMode::kRaised, true, false});
  const PassResult shared = Run(kind, data + 1, size - 1, {ErrorMode::kRecorded, false, true});
  const PassResult hooked = Run(kind, data + 1, size - 1, {ErrorMode::kRecorded, true, true});
  for (const PassResult* r : {&shared, &hooked}) {
    if (r->Before != plain.Before) Finding("the record hooks changed what a memo reads as", 0, 0);
  }
  if (hooked.After != plain.After || hooked.Writes.TextBlock != plain.Writes.TextBlock ||
      hooked.Writes.StreamBlock != plain.Writes.StreamBlock)
    Finding("the record hooks changed what the writes did", 0, 0);
  return 0;
}

}  // namespace fuzz

// Fuzz entry: an index file (".mdx") for the fixed index table of fixture_tables.h, opened,
// walked in every tag in both directions, searched, kept up to date through an append and a
// rewrite, rebuilt, and read again.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/dbf/updates.h"
#include "engine/dbf/workarea.h"
#include "engine/index/xqndx.h"
#include "tests/fuzz/targets/fixture_tables.h"
#include "tests/fuzz/targets/fuzz_env.h"
#include "tests/fuzz/targets/fuzz_targets.h"

namespace fuzz {

namespace {

using namespace morvane;

volatile uint8_t gSink;

[[noreturn]] void Runaway(const char* where) {
  std::fprintf(stderr, "agemill fuzz: %s went on longer than the index holds keys\n", where);
  std::abort();
}

// The fixed table as bytes, built once.
const std::vector<uint8_t>& TableBytes() {
  static const std::vector<uint8_t> bytes = [] {
    const std::string path = ScratchFile("ixbuild.dbf");
    StartEngine(ErrorMode::kRaised);
    Guarded([&] { WriteIndexTable(path); });
    StopEngine();
    std::vector<uint8_t> b = ReadScratch(path);
    RemoveScratch(path);
    if (b.empty()) std::abort();
    return b;
  }();
  return bytes;
}

// Moves through the controlling order from one end to the other; aborts when it visits more
// positions than the file can hold keys (a cycle that was not caught).
void Walk(bool forward, int64_t bound) {
  Guarded([&] {
    if (forward)
      GoTop();
    else
      GoBottom();
    int64_t steps = 0;
    while (!(forward ? dEOF() : dBOF())) {
      if (++steps > bound) Runaway(forward ? "Skip(1)" : "Skip(-1)");
      gSink = static_cast<uint8_t>(RecNo());
      Skip(forward ? 1 : -1);
      if (Errors.DbfError != 0) break;
    }
  });
}

void SeekSome() {
  static const char* const kKeys[] = {"050", "05045001......", "14045019......H", "", "0",
                                      "County number 3", "zzzz", "\xFF\xFF", "12.5", "-1",
                                      "1E300", "20100401", "0504500"};
  for (const char* key : kKeys) {
    Guarded([&] { Find(key); });
    gSink = static_cast<uint8_t>(IndexFound());
  }
  Guarded([] { Find(std::string(120, '9')); });
  Guarded([] {
    SetExactOn();
    Find("050");
    SetExactOff();
  });
}

// Every tag in turn: walk both ways and seek. Returns the number of tags that could be chosen.
int ReadEveryTag(int64_t bound) {
  int tags = 0;
  for (int n = 1; n <= 48; ++n) {
    bool chosen = false;
    Guarded([&] {
      Errors.DbfError = 0;
      Set_Order_To(n);
      chosen = Errors.DbfError == 0 && CurrentOrder() == n;
    });
    if (!chosen) break;
    ++tags;
    Walk(true, bound);
    Walk(false, bound);
    SeekSome();
  }
  Guarded([] { Set_Order_To(0); });
  Walk(true, bound);
  Guarded([] { SetOrderToTag("NAMEGEO"); });
  Guarded([] { SetOrderToTag(""); });
  return tags;
}

// Appends a copy of the first record and rewrites it with another summary level, so that every
// tag is maintained on the damaged file.
void MaintainKeys() {
  Guarded([] {
    Set_Order_To(1);
    GoTop();
    if (dEOF()) return;
    Append();
  });
  Guarded([] {
    GoTop();
    if (dEOF()) return;
    uint8_t* sumlev = FieldAddress(1);
    if (sumlev == nullptr) return;
    sumlev[1] = '9';
    Replace();
  });
  Guarded([] { Skip(1); });
}

bool IndexIsOpen() {
  WorkArea* a = CurrentWorkArea();
  return a != nullptr && a->Index != nullptr;
}

void Run(const uint8_t* data, size_t size, ErrorMode mode, bool shared) {
  const std::string table = ScratchFile("ix.dbf");
  const std::string index = ScratchFile("ix.mdx");
  const std::vector<uint8_t>& tableBytes = TableBytes();
  WriteScratch(table, tableBytes.data(), tableBytes.size());
  WriteScratch(index, data, size);
  RemoveScratch(ScratchFile("ix.@S@"));
  // Every key item takes at least 8 bytes of a page; the appended record may add one per tag.
  const int64_t bound = static_cast<int64_t>(size) / 8 + 64;

  StartEngine(mode);
  Guarded([&] {
    Select(1);
    Use(table + (shared ? "" : " EXCLUSIVE"), nullptr, 0);
  });
  if (CurrentWorkArea() == nullptr) std::abort();  // the fixture table must open
  Guarded([&] { SetIndexTo(index); });
  if (IndexIsOpen()) {
    ReadEveryTag(bound);
    if (!shared) {
      MaintainKeys();
      ReadEveryTag(bound);
      Guarded([] { Reindex(); });
      ReadEveryTag(bound);
    }
  }
  Guarded([] { IndexClose(); });
  // The file as the maintenance left it opens again (or is refused) just the same.
  Guarded([&] { SetIndexTo(index); });
  if (IndexIsOpen()) ReadEveryTag(bound);
  Guarded([] { CloseArea(); });
  std::vector<std::string> tags;
  Guarded([&] { GetTagList(tags, index); });
  StopEngine();
}

}  // namespace

int FuzzMdxIndex(const uint8_t* data, size_t size) {
  Run(data, size, ErrorMode::kRaised, false);
  Run(data, size, ErrorMode::kRecorded, true);
  return 0;
}

}  // namespace fuzz

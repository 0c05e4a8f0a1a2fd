// Shared fixture of the memo suites: a fresh engine per test (errors recorded, not handled), a
// private folder, and a table t.dbf (NAME C10, NOTE M10) of a chosen memo layout, with helpers
// that write and read a memo through the blob stream of the current area.
#pragma once

#include <string>

#include "engine/dbf/memo.h"
#include "engine/dbf/workarea.h"
#include "tests/dbf/dbf_fixture.h"

namespace memotest {

using testsupport::Bytes;

struct Layout {
  const char* name;
  uint8_t version;      // table version byte = memo type
  uint16_t blockSize;
  const char* extension;
};
inline constexpr Layout kDbase3{"dBASE III", 0x83, 512, "dbt"};
inline constexpr Layout kDbase4{"dBASE IV", 0x8B, 512, "dbt"};
inline constexpr Layout kFoxPro{"FoxPro", 0xF5, 64, "fpt"};

class MemoTest : public dbftest::EngineTest {
 protected:
  // Creates Name.dbf with fields NAME C10 and NOTE M10 in Layout.
  void MakeTable(const Layout& layout, const std::string& name = "t") {
    morvane::DbfSettings.DefaultMemoBlockSize = layout.blockSize;
    dbftest::CreateTable(file(name + ".dbf"), {dbftest::Fd("NAME", 'C', 10), dbftest::Fd("NOTE", 'M', 10)},
                         layout.version);
    morvane::DbfSettings.DefaultMemoBlockSize = 512;
    ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
  }
  void Open(const std::string& name = "t", bool exclusive = true) {
    morvane::Use(file(name + ".dbf") + (exclusive ? " EXCLUSIVE" : ""), nullptr, 0);
    ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
  }
  std::string memoFile(const Layout& layout, const std::string& name = "t") const {
    return file(name + "." + layout.extension);
  }

  // Writes Text as a new memo through the current area's stream; its block.
  static int32_t WriteMemo(const std::string& text, bool convert = false) {
    const int32_t block = morvane::CreateBlobDescriptor(convert, 0, 2);
    if (block == 0) return 0;
    morvane::WriteBlobStream(text.data(), static_cast<int32_t>(text.size()));
    morvane::DestroyBlobDescriptor();
    return block;
  }
  // Reads memo Block through the current area's stream, in pieces of Piece bytes.
  static std::string ReadMemo(int32_t block, bool convert = false, int32_t piece = 7) {
    std::string text;
    morvane::CreateBlobDescriptor(convert, block, 1);
    std::string buffer(static_cast<size_t>(piece), '\0');
    for (int32_t got; (got = morvane::ReadBlobStream(buffer.data(), piece)) > 0;)
      text.append(buffer.data(), static_cast<size_t>(got));
    morvane::DestroyBlobDescriptor();
    return text;
  }
};

// Bytes of a text.
inline Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The bytes of File from Offset, Count of them (fewer at its end).
inline Bytes Slice(const Bytes& file, size_t offset, size_t count) {
  if (offset >= file.size()) return {};
  return Bytes(file.begin() + static_cast<long>(offset),
               file.begin() + static_cast<long>(std::min(file.size(), offset + count)));
}

}  // namespace memotest

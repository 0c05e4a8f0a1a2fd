// The tables of procedure variables through which the work-area layer reaches the index manager
// and the memo layer. EngineStartup empties both (the dbf layer's Reset); the index and memo
// layers fill their table in their own Install step. With a table empty the commands work in
// natural record order and without memo files. Every hook works on the current work area.
#pragma once

#include <cstdint>
#include <string>

namespace morvane {

// Filled by the index manager. Record numbers as in the work-area layer (1-based).
struct IndexHookTable {
  bool (*IndexActive)() = nullptr;        // the current area has an index open
  int32_t (*IndexFirst)() = nullptr;      // first / last key's record; RecordCount + 1 when empty
  int32_t (*IndexLast)() = nullptr;
  int32_t (*IndexNext)() = nullptr;       // next / previous key's record; the same at the end
  int32_t (*IndexPrev)() = nullptr;
  bool (*IndexEof)() = nullptr;           // the controlling order's own end flags
  bool (*IndexBof)() = nullptr;
  void (*IndexSetEof)() = nullptr;        // set the order's end flags
  void (*IndexSetBof)() = nullptr;
  void (*SyncIndex)() = nullptr;          // reposition the controlling order on the current record
  void (*IndexAfterMove)() = nullptr;     // remember the current record's key
  void (*IndexSaveOldKeys)() = nullptr;   // before a rewrite: remember the stored keys
  void (*IndexReplaceKeys)() = nullptr;   // after a rewrite: replace the changed keys
  void (*AppendNewKey)() = nullptr;       // after an append: insert the new record's keys
  void (*IndexZap)() = nullptr;           // rebuild every open tag (after Zap)
  void (*IndexClose)() = nullptr;         // close the area's index files and free its IndexBlock
  void (*SetReadSemaphoreProc)(bool On) = nullptr;  // nestable hold for reading
  void (*SetLockSemaphoreProc)(bool On) = nullptr;  // nestable hold for writing
};
inline IndexHookTable IndexHooks;

// Filled by the memo layer.
struct MemoHookTable {
  // Creates an empty memo file Name (the extension is the memo layer's) of Type with BlockSize;
  // Tag names the caller in messages.
  void (*CreateMemofile)(const std::string& Name, uint8_t Type, uint16_t BlockSize,
                         const std::string& Tag) = nullptr;
  // Opens the current area's memo file for the table TableName; reports its failures.
  void (*OpenMemofile)(const std::string& TableName) = nullptr;
  // Closes the current area's memo file and frees its control block.
  void (*CloseMemofile)() = nullptr;
  // The current area's open memo file: its full name, memo type and block size.
  void (*MemoFileInfo)(std::string& Name, uint8_t& Type, uint16_t& BlockSize) = nullptr;
  // Copies memo Block of SourceArea to the end of the current area's memo file; the new block.
  int32_t (*CopyMemo)(int SourceArea, int32_t Block) = nullptr;
  // The text of memo Block of the current area (OEM translated as the table is); false when
  // there is none.
  bool (*ReadMemoText)(int32_t Block, std::string& Text) = nullptr;
};
inline MemoHookTable MemoHooks;

}  // namespace morvane

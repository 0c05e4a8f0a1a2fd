// The engine's index manager: multiple-tag index files (".mdx") for the work areas. Building
// files (MakeIndex, IndexOn, Reindex), opening them and choosing the controlling order
// (SetIndexTo, Set_Order_To, SetOrderToTag), seeking keys (Find) and the hooks through which the
// command layer moves in key order. Cross-process sharing goes through the index semaphore
// (engine/index/semaphore.h). Every operation works on the current work area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/index/semaphore.h"

namespace morvane {

// One tag definition for MakeIndex; an array of them ends with the first definition whose name
// is empty (or at its end).
struct IndexTagDef {
  std::string TagName;    // at most 10 characters
  std::string KeyExpr;    // at most 220 characters
  std::string ForCond;    // at most 220 characters; empty: none
  bool Descending = false;
  bool Unique = false;
};

// Settings of the index builder (EngineStartup restores them).
struct IndexBuildSettingsState {
  void (*ProgressProc)() = nullptr;  // called ProgressSteps times per built tag
  int ProgressSteps = 0;
  size_t RunEntries = 8189;          // entries sorted in memory before a run is spilled
};
inline IndexBuildSettingsState IndexBuildSettings;

// Installs the index hooks in the command layer and clears the manager's state (run by the
// engine's start-up). Reports 254 when another index manager installed hooks first, or when
// the expression unit is not linked in.
void IndexInit();

// The result of the last seek (Find), and the exact-match switch of Find for text keys.
bool IndexFound();
bool SetExactOn();   // both return the previous value
bool SetExactOff();

// Opens an index file for the current area (closing the one it had): an empty name means the
// table's name with extension MDX, a name without extension gets MDX, a name without "/" is
// placed in the table's folder. Tag 1 becomes the controlling order and the area moves to its
// first visible record. False after a reported failure: 2 for a missing file (with error
// checking's rules); an unusable file raises (always) 222 "Unable to open index: ", 222/266/217
// for a tag that cannot be opened.
bool SetIndexTo(const std::string& FileName);

// Closes the current area's index: writes changed anchors, frees the tags, closes the file and
// logs out of the semaphore. Nothing when no index is open.
void IndexClose();

// Order n (1..tag count) becomes controlling; 0 selects natural order with the index kept open.
// n beyond the tag count raises 220.
void Set_Order_To(int N);
// The first tag whose name begins with Name (first 10 characters, trimmed, upper case); an
// empty name selects natural order; no match raises 220.
void SetOrderToTag(const std::string& Name);
// The tag number of the controlling tag; 0 in natural order or without an index.
int CurrentOrder();

// Seeks Key (at most 100 characters) in the controlling tag: positions the area on the first
// visible record whose key begins with Key (the full key with SetExactOn for text keys), or at
// end of file; IndexFound tells which. Raises 221 without an index, 254 in natural order.
void Find(const std::string& Key);

// The tag list of an index file: two lines per tag, "NAME,D,U,key expression" (D, U: T or F
// for descending and unique) and the FOR condition (empty when none). A missing or unreadable
// file gives an empty list.
void GetTagList(std::vector<std::string>& List, const std::string& FileName);

// Repositions the controlling tag on the current record / does so after other users' changes.
void SyncIndex();
void SoftSyncIndex();

// Builds a new index file for the current area from Defs (see IndexTagDef); the file is not
// opened. True when every tag was built.
bool MakeIndex(const std::vector<IndexTagDef>& Defs, const std::string& FileName);
// MakeIndex with one ascending tag "dummy_tag" on KeyExpr, then SetIndexTo; 1 or 0.
int IndexOn(const std::string& KeyExpr, const std::string& FileName);
// MakeIndex, then SetIndexTo when it succeeded; 1 or 0.
int MakeIndexAndSet(const std::vector<IndexTagDef>& Defs, const std::string& FileName);
// Builds one tag into the file MakeIndex has open (false without one).
bool AddIndexTag(const IndexTagDef& Def);
// Rebuilds the current area's open index file from its stored definitions and selects the
// controlling tag again. Raises 221 without an index.
void Reindex();
// Registers the builder's progress procedure (Steps calls per tag); null and 0 unregister it.
void SetIndexProgressProc(void (*Proc)(), int Steps);

}  // namespace morvane

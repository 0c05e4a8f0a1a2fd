// Test utility: walks every tag of an index file as stored and checks the page layout rules a
// correct file obeys, whatever changes made it: page numbers inside the file and used once,
// counts within capacity, keys in order (strictly for unique tags), every branch key equal to
// the greatest key under its child, all leaves at one depth with the terminator word 0, and
// only the root may be an empty leaf. Failures are reported as test failures naming the page.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mdxcheck {

// One tag as found in the file.
struct TagContents {
  std::string Name;
  bool Unique = false;
  bool ForSeen = false;
  uint32_t Root = 0;
  int Depth = 0;                                        // levels from the root to the leaves
  std::vector<std::pair<std::string, uint32_t>> Items;  // (key bytes, record) in key order
};

// Checks every tag of the index file at Path (header, tag table, anchors, pages) and returns
// the tags in tag order. An unreadable file is a test failure and gives no tags.
std::vector<TagContents> CheckIndexFile(const std::string& Path);

// The keys of a tag in order (records dropped).
std::vector<std::string> KeysOf(const TagContents& Tag);

}  // namespace mdxcheck

#include "tests/faults/index_state.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <map>

#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "tests/index_maint/mdx_checker.h"
#include "tests/support/test_support.h"

namespace faulttest {

using namespace morvane;

namespace {

// Opens Table exclusively in area 1 with the count from the file size; false when it fails.
bool OpenTable(const std::string& Table) {
  CloseAll();
  Select(1);
  const bool recount = DbfSettings.RecountOnOpen;
  DbfSettings.RecountOnOpen = true;
  Errors.DbfError = 0;
  try {
    Use(Table + " EXCLUSIVE", nullptr, 0);
  } catch (const EMorvaneError&) {
  }
  DbfSettings.RecountOnOpen = recount;
  return CurrentWorkArea() != nullptr;
}

// Runs Op with errors raised, so that every engine error ends it; false when one did.
template <typename Op>
bool Raising(Op op, std::string* Why = nullptr) {
  const bool raise = SetRaiseErrors(true);
  const bool check = SetErrorCheck(true);
  bool ok = true;
  try {
    op();
  } catch (const EMorvaneError& e) {
    if (Why != nullptr) *Why = e.what();
    ok = false;
  }
  SetErrorCheck(check);
  SetRaiseErrors(raise);
  Errors.DbfError = 0;
  return ok;
}

}  // namespace

const char* StateName(IndexState State) {
  switch (State) {
    case IndexState::kRefused: return "refused";
    case IndexState::kInStep: return "in step";
    case IndexState::kBehind: return "behind by the changed record";
    default: return "broken";
  }
}

std::string TallyText(const std::map<IndexState, int>& Tally) {
  std::string text;
  for (const auto& [state, n] : Tally)
    text += std::string(" ") + StateName(state) + " " + std::to_string(n);
  return text;
}

std::vector<IndexTagDef> NamePopTags() {
  IndexTagDef name;
  name.TagName = "NAME";
  name.KeyExpr = "name";
  IndexTagDef pop;
  pop.TagName = "POP";
  pop.KeyExpr = "pop";
  return {name, pop};
}

std::vector<std::string> StoredRecords(const std::string& Table) {
  std::vector<std::string> records;
  if (!OpenTable(Table)) {
    ADD_FAILURE() << Table << " does not open: " << Errors.ErrorDetail;
    return records;
  }
  for (int32_t r = 1; r <= RecCount(); ++r) {
    RawGo(r);
    const WorkArea* a = CurrentWorkArea();
    records.emplace_back(a->Table.Record(), a->Table.RecordLength);
  }
  CloseAll();
  return records;
}

IndexState InspectIndex(const std::string& Table, const std::string& Index,
                        const std::vector<std::string>& Records, int32_t Changed,
                        const std::string& Scratch, std::string& Why) {
  Why.clear();
  // The engine first: an index it refuses is never used for answers.
  if (!OpenTable(Table)) {
    Why = "the table does not open";
    return IndexState::kBroken;
  }
  const bool usable = Raising(
      [&] {
        if (!SetIndexTo(Index)) throw EMorvaneError("not opened");
        for (int order = 1; order <= 2; ++order) {
          Set_Order_To(order);
          GoTop();
          for (size_t steps = 0; !dEOF() && steps <= Records.size() * 2; ++steps) Skip(1);
        }
      },
      &Why);
  CloseAll();
  if (!usable) return IndexState::kRefused;

  // The pages as stored, the checker's findings collected rather than failing the test. A new
  // page cut short at the end of the file is no part of any tree (the next new page goes after
  // it), so the copy checked is padded to whole pages.
  testsupport::Bytes bytes = testsupport::ReadFileBytes(Index);
  bytes.resize((bytes.size() + 1023) / 1024 * 1024, 0);
  testsupport::WriteFileBytes(Scratch, bytes);
  std::vector<mdxcheck::TagContents> tags;
  ::testing::TestPartResultArray findings;
  {
    ::testing::ScopedFakeTestPartResultReporter collect(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &findings);
    tags = mdxcheck::CheckIndexFile(Scratch);
  }
  for (int i = 0; i < findings.size(); ++i)
    Why += findings.GetTestPartResult(i).message() + std::string("; ");
  if (findings.size() != 0 || tags.size() != 2) return IndexState::kBroken;

  bool behind = false;
  for (const mdxcheck::TagContents& tag : tags) {
    std::map<uint32_t, int> seen;
    for (const auto& [key, record] : tag.Items) {
      if (record < 1 || record > Records.size() || ++seen[record] > 1) {
        Why = tag.Name + ": record " + std::to_string(record) + " outside the table or twice";
        return IndexState::kBroken;
      }
      if (tag.Name == "NAME" && key != Records[record - 1].substr(1, 10)) {
        Why = tag.Name + ": record " + std::to_string(record) + " under the key \"" + key + "\"";
        if (static_cast<int32_t>(record) != Changed) return IndexState::kBroken;
        behind = true;
      }
    }
    for (uint32_t r = 1; r <= Records.size(); ++r) {
      if (seen.count(r) != 0) continue;
      Why = tag.Name + ": no item for record " + std::to_string(r);
      if (static_cast<int32_t>(r) != Changed) return IndexState::kBroken;
      behind = true;
    }
  }
  return behind ? IndexState::kBehind : IndexState::kInStep;
}

void ExpectRebuiltInStep(const std::string& Table, const std::string& Index,
                         const std::vector<std::string>& Records, const std::string& Scratch) {
  ASSERT_TRUE(OpenTable(Table)) << Errors.ErrorDetail;
  bool reindexed = Raising([&] {
    if (!SetIndexTo(Index)) throw EMorvaneError("not opened");
    Reindex();
  });
  // A build that failed on a tag left the file without that tag's definition: Reindex then
  // rebuilds only the others, and the index is made anew from the definitions.
  std::vector<std::string> tagList;
  GetTagList(tagList, Index);
  if (tagList.size() != 2 * NamePopTags().size()) reindexed = false;
  if (!reindexed) {
    std::string why;
    EXPECT_TRUE(Raising(
                    [&] {
                      if (!MakeIndex(NamePopTags(), Index)) throw EMorvaneError("not built");
                    },
                    &why))
        << why;
  }
  CloseAll();
  std::string why;
  EXPECT_EQ(InspectIndex(Table, Index, Records, 0, Scratch, why), IndexState::kInStep)
      << "the rebuilt index: " << why;
}

}  // namespace faulttest

// Table builders of the index suites.
#include "tests/index/index_fixture.h"

#include <algorithm>

namespace indextest {

namespace {

morvane::FieldDescriptor Field(const std::string& name, char type, int width, int decimals = 0) {
  morvane::FieldDescriptor f;
  f.Name = name;
  f.Type = type;
  f.Width = static_cast<uint8_t>(width);
  f.Decimals = static_cast<uint8_t>(decimals);
  return f;
}

std::string Left(const std::string& text, size_t width) {
  std::string s = text.substr(0, std::min(text.size(), width));
  return s + std::string(width - s.size(), ' ');
}

std::string Right(const std::string& text, size_t width) {
  std::string s = text.substr(0, std::min(text.size(), width));
  return std::string(width - s.size(), ' ') + s;
}

void CreateAndFill(const std::string& path, const std::vector<morvane::FieldDescriptor>& fields,
                   const std::vector<std::string>& records) {
  morvane::DbfSettings.DefaultVersion = 0x03;
  morvane::DbfControlBlock scratch;
  morvane::CreateDbf(scratch, path, fields);
  ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
  morvane::DbfControlBlock b;
  b.FileName = path;
  morvane::OpenDbf(b);
  ASSERT_EQ(b.State, morvane::dsClean) << morvane::Errors.ErrorDetail;
  for (const std::string& r : records) {
    ASSERT_EQ(r.size(), b.RecordLength);
    std::copy(r.begin(), r.end(), b.RecordBuffer.begin());
    morvane::PutDbfRecord(b, b.RecordCount + 1);
  }
  morvane::CloseDbf(b);
}

}  // namespace

std::string RawRecord(const KeyRow& Row) {
  return std::string(Row.deleted ? "*" : " ") + Left(Row.sumlev, 3) + Left(Row.geocode, 11) +
         Left(Row.race, 1) + Right(Row.pop, 8) + Left(Row.day, 8);
}

void IndexTest::OpenKeyTable(const std::string& Name, const std::vector<KeyRow>& Rows, bool Shared) {
  std::vector<std::string> records;
  for (const KeyRow& r : Rows) records.push_back(RawRecord(r));
  CreateAndFill(file(Name), {Field("SUMLEV", 'C', 3), Field("GEOCODE", 'C', 11), Field("RACE", 'C', 1),
                             Field("POP", 'N', 8, 2), Field("DAY", 'D', 8)},
                records);
  morvane::Select(1);
  morvane::Use(file(Name) + (Shared ? "" : " EXCLUSIVE"), nullptr, 0);
  ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
}

void IndexTest::OpenTextTable(const std::string& Name, int Width, const std::vector<std::string>& Keys) {
  std::vector<std::string> records;
  for (const std::string& k : Keys) records.push_back(" " + Left(k, static_cast<size_t>(Width)));
  CreateAndFill(file(Name), {Field("K", 'C', Width)}, records);
  morvane::Select(1);
  morvane::Use(file(Name) + " EXCLUSIVE", nullptr, 0);
  ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
}

std::vector<int32_t> IndexTest::OrderFromTop() {
  std::vector<int32_t> order;
  morvane::GoTop();
  while (!morvane::dEOF() && order.size() < 100000) {
    order.push_back(morvane::RecNo());
    morvane::Skip(1);
  }
  return order;
}

std::vector<int32_t> IndexTest::OrderFromBottom() {
  std::vector<int32_t> order;
  morvane::GoBottom();
  if (morvane::dEOF()) return order;
  for (;;) {
    order.push_back(morvane::RecNo());
    morvane::Skip(-1);
    if (morvane::dBOF() || order.size() >= 100000) break;
  }
  return order;
}

morvane::IndexTagDef Tag(const std::string& Name, const std::string& Key, const std::string& For,
                         bool Descending, bool Unique) {
  morvane::IndexTagDef d;
  d.TagName = Name;
  d.KeyExpr = Key;
  d.ForCond = For;
  d.Descending = Descending;
  d.Unique = Unique;
  return d;
}

}  // namespace indextest

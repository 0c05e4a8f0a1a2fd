// Shared fixture of the bulk-operation suites: a fresh engine per test (errors recorded, not
// handled), a private folder, tables made by the engine, and the stored text of a field.
#pragma once

#include <string>
#include <vector>

#include "engine/dbf/bulk.h"
#include "engine/dbf/updates.h"
#include "engine/dbf/value_text.h"
#include "engine/dbf/workarea.h"
#include "engine/util/texts.h"
#include "tests/dbf/dbf_fixture.h"

namespace bulktest {

using dbftest::Fd;
using testsupport::Bytes;

class BulkTest : public dbftest::EngineTest {
 protected:
  // Creates and opens (exclusive) Name.dbf with Fields in the current area.
  void MakeOpen(const std::string& name, const std::vector<morvane::FieldDescriptor>& fields,
                uint8_t version = 0x03) {
    dbftest::CreateTable(file(name + ".dbf"), fields, version);
    morvane::Use(file(name + ".dbf") + " EXCLUSIVE", nullptr, 0);
    ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
  }
  // The stored text of field Name in record RecNo of the current area (ANSI), read with Go.
  static std::string Stored(int32_t recno, const std::string& name) {
    morvane::Go(recno);
    const morvane::DbfControlBlock& t = morvane::CurrentWorkArea()->Table;
    const int n = morvane::FieldNo(name);
    if (n == 0) return "<no field " + name + ">";
    const morvane::FieldDescriptor& f = t.Fields[static_cast<size_t>(n - 1)];
    return std::string(t.Record() + f.Offset, f.Width);
  }
  // Every record of the current area as "field|field|..." (stored texts, blanks trimmed right).
  static std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    const morvane::DbfControlBlock& t = morvane::CurrentWorkArea()->Table;
    for (int32_t r = 1; r <= morvane::RecCount(); ++r) {
      morvane::Go(r);
      std::string row(t.Record()[0] == '*' ? "*" : "");
      for (size_t i = 0; i < t.Fields.size(); ++i) {
        if (i > 0) row += '|';
        row += morvane::TrimRight(std::string(t.Record() + t.Fields[i].Offset, t.Fields[i].Width));
      }
      rows.push_back(row);
    }
    return rows;
  }
  // Appends records with the given field values (one text per field, stored by field type) to
  // the current area.
  static void AddRows(const std::vector<std::vector<std::string>>& rows) {
    morvane::WorkArea& a = *morvane::CurrentWorkArea();
    for (const auto& row : rows) {
      morvane::ClearRecord();
      for (size_t i = 0; i < row.size() && i < a.Table.Fields.size(); ++i)
        morvane::StoreValueText(a.Table.Fields[i], a.Typed, row[i]);
      morvane::Append();
      ASSERT_EQ(morvane::Errors.DbfError, 0) << morvane::Errors.ErrorDetail;
    }
  }
};

}  // namespace bulktest

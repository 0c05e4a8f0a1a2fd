// Field access in the current work area: names, types, widths and decimals, the address of a
// field's slot in the typed record, and the blank record.
#include <algorithm>

#include "engine/dbf/workarea.h"
#include "engine/util/errors.h"
#include "engine/util/startup.h"
#include "engine/util/texts.h"

namespace morvane {

namespace {

// The field N of the current area, or null after reporting 215 (empty area) or 220 (no such
// field: "Invalid field number. [<Function>(<n>)]").
const FieldDescriptor* FieldOf(int n, const char* function) {
  WorkArea* a = CheckInUse((std::string(function) + "()").c_str());
  if (a == nullptr) return nullptr;
  if (n < 1 || n > a->Table.FieldCount) {
    ReportError(220, std::string("Invalid field number. [") + function + "(" + std::to_string(n) +
                         ")]");
    return nullptr;
  }
  return &a->Table.Fields[static_cast<size_t>(n - 1)];
}

}  // namespace

int FieldCount() {
  WorkArea* a = CheckInUse("FieldCount()");
  return a ? a->Table.FieldCount : 0;
}

std::string Field(int n) {
  const FieldDescriptor* f = FieldOf(n, "Field");
  return f ? f->Name : std::string();
}

int FieldNo(const std::string& name) {
  WorkArea* a = CheckInUse("FieldNo()");
  if (a == nullptr) return 0;
  const std::string key = UpperText(TrimRight(name.substr(0, 10)));
  for (size_t i = 0; i < a->Table.Fields.size(); ++i)
    if (a->Table.Fields[i].Name == key) return static_cast<int>(i + 1);
  return 0;
}

char FieldType(int n) {
  const FieldDescriptor* f = FieldOf(n, "FieldType");
  return f ? f->Type : ' ';
}

int FieldLen(int n) {
  const FieldDescriptor* f = FieldOf(n, "FieldLen");
  if (f == nullptr) return 0;
  if (f->Type == 'D') return Settings.CenturyOn ? 10 : 8;
  return f->Width;
}

int FieldDec(int n) {
  const FieldDescriptor* f = FieldOf(n, "FieldDec");
  return f ? f->Decimals : 0;
}

uint8_t* FieldAddress(int n) {
  WorkArea* a = CheckInUse("FieldAddress()");
  if (a == nullptr) return nullptr;
  if (n == 0) return a->Typed;
  const FieldDescriptor* f = FieldOf(n, "FieldAddress");
  return f ? a->Typed + f->TypedOffset : nullptr;
}

void BlankRecord(WorkArea& a) {
  std::fill(a.Table.RecordBuffer.begin(), a.Table.RecordBuffer.end(), ' ');
  RecordToTyped(a.Table, a.Typed);
}

void ClearRecord() {
  WorkArea* a = CheckInUse("ClearRecord");
  if (a != nullptr) BlankRecord(*a);
}

}  // namespace morvane

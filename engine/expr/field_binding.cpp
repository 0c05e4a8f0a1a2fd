// Compile-time field lookup over the work-area table.
#include "engine/expr/field_binding.h"

#include "engine/dbf/workarea.h"

namespace morvane::expr {

int AreaOfAlias(std::string_view Alias) {
  if (Alias.size() > 10) Alias = Alias.substr(0, 10);
  for (int n = 1; n <= 32; ++n) {
    const WorkArea* area = GetWorkArea(n);
    if (area != nullptr && area->Alias == Alias) return n;
  }
  return 0;
}

bool LookupField(int Area, std::string_view Name, FieldRef& Out) {
  const WorkArea* area = Area == 0 ? CurrentWorkArea() : GetWorkArea(Area);
  if (area == nullptr) return false;
  const auto& fields = area->Table.Fields;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].Name != Name) continue;
    Out.number = static_cast<int32_t>(i + 1);
    // F fields are numbers; a type outside the language's (a table may declare extra valid
    // types) is read as its raw characters.
    switch (fields[i].Type) {
      case 'N': case 'F': Out.type = 'N'; break;
      case 'D': case 'L': case 'M': Out.type = fields[i].Type; break;
      default: Out.type = 'C'; break;
    }
    Out.width = fields[i].Width;
    Out.decimals = fields[i].Decimals;
    return true;
  }
  return false;
}

}  // namespace morvane::expr

// Storing a value given as text (a field of a comma-separated line, a NAME=VALUE argument) in a
// field's slot of the typed record, by the field's type. One routine for every importer, so that
// the delimited import and the command-line tools store a text the same way.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/dbf/dbf_file.h"

namespace morvane {

// Stores Value in Field's slot of Typed (a typed record of the field's table):
//   C       the first (width) characters
//   D       digits only (not empty): read as YYYYMMDD and turned into the date text of the current
//           convention; anything else is taken as a date text of the convention (at most 10
//           characters); a text that is not a valid date is stored as the blank date, so that no
//           impossible date reaches the file
//   N, F    with decimals: TextToReal (cleaned number text: "$", blanks, "+", thousands
//           separators dropped, the locale decimal separator); without decimals: TextToInt32
//           (the whole part); an empty value, or one that is not a number, gives 0
//   L       true when the first character is T, t, Y or y; false otherwise, also when empty
//   M       nothing: memo fields take no value from a text
// Returns false when Value is not a value of the field's type (a date or number text that is not
// one; it is stored as the blank date or 0 all the same); an importer may go on, a command line
// refuses. Never writes outside the field's slot, whatever the length of Value.
bool StoreValueText(const FieldDescriptor& Field, uint8_t* Typed, std::string_view Value);

// Stores Value straight into Field's bytes of the raw record Record, whose bytes for the field
// are still those of the blank record (what TypedToRecord writes for a typed record just blanked),
// with exactly the bytes that StoreValueText followed by TypedFieldToRecord would give. Character
// fields and whole numbers written as plain digits (the bulk of an import) go without the typed
// slot; anything else goes through StoreValueText in Scratch (a typed record of the field's
// table, whose slot for the field it overwrites). Returns what StoreValueText returns. Never
// writes outside the field's bytes.
bool StoreValueTextInBlankRecord(const FieldDescriptor& Field, char* Record,
                                 std::string_view Value, uint8_t* Scratch);

// True for the field types StoreValueText stores (C, D, F, L, N).
bool TakesValueText(const FieldDescriptor& Field);

}  // namespace morvane

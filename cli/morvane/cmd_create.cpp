// morvane create TABLE FIELD... [--version 0x03|0x83|0x8B|0xF5|0x04|0x8C]: creates an empty table.
// Each FIELD is NAME,TYPE,LEN,DEC (the field-list line form; blanks around the items allowed,
// LEN and DEC may be left out where the type fixes them). --version sets the default version
// byte for this call.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/morvane/cli_support.h"
#include "engine/dbf/dbf_file.h"
#include "engine/util/texts.h"

namespace morvane_cli {

namespace {

bool ParseVersion(const std::string& text, uint8_t& version) {
  const std::string upper = morvane::UpperText(text);
  for (uint8_t v : {0x03, 0x83, 0x8B, 0xF5, 0x04, 0x8C}) {
    char name[8];
    std::snprintf(name, sizeof name, "0X%02X", v);
    if (upper == name) {
      version = v;
      return true;
    }
  }
  return false;
}

// NAME,TYPE,LEN,DEC into a field definition; false with a message when it cannot be read.
bool ParseField(const std::string& utf8, morvane::FieldDescriptor& f) {
  const std::string text = ToEngineText(utf8);
  std::vector<std::string> items;
  size_t from = 0;
  while (true) {
    size_t comma = text.find(',', from);
    items.push_back(morvane::Trim(text.substr(from, comma - from)));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (items.size() < 2 || items.size() > 4 || items[1].size() != 1) {
    PrintError("create: a field is NAME,TYPE,LEN,DEC: " + text);
    return false;
  }
  const int length = items.size() > 2 ? morvane::TextToInt16(items[2]) : 0;
  const int decimals = items.size() > 3 ? morvane::TextToInt16(items[3]) : 0;
  if (length < 0 || length > 255 || decimals < 0 || decimals > 255) {
    PrintError("create: length and decimals must be 0 to 255: " + text);
    return false;
  }
  f.Name = items[0];
  f.Type = items[1][0];
  f.Width = static_cast<uint8_t>(length);
  f.Decimals = static_cast<uint8_t>(decimals);
  return true;
}

int Create(const Args& args) {
  std::string table;
  std::vector<morvane::FieldDescriptor> fields;
  uint8_t version = morvane::DbfSettings.DefaultVersion;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--version") {
      if (i + 1 >= args.size() || !ParseVersion(args[i + 1], version)) {
        PrintError("create: --version takes 0x03, 0x83, 0x8B, 0xF5, 0x04 or 0x8C");
        return kExitUsage;
      }
      ++i;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      PrintError("create: unknown option " + ToEngineText(a));
      return kExitUsage;
    } else if (table.empty()) {
      table = a;
    } else {
      morvane::FieldDescriptor f;
      if (!ParseField(a, f)) return kExitUsage;
      fields.push_back(f);
    }
  }
  if (table.empty() || fields.empty()) {
    PrintError("create: give the table and at least one field NAME,TYPE,LEN,DEC");
    return kExitUsage;
  }
  morvane::DbfSettings.DefaultVersion = version;
  morvane::DbfControlBlock scratch;
  morvane::CreateDbf(scratch, table, fields);
  return kExitOk;
}

}  // namespace

int cmd_create(const Args& args) { return RunGuarded(&Create, args); }

}  // namespace morvane_cli

// Creating an empty table from a field list (the header layout is described in dbf_file.cpp).
#include <algorithm>
#include <vector>

#include "engine/dbf/dbf_file.h"
#include "engine/dbf/engine_hooks.h"
#include "engine/util/errors.h"
#include "engine/util/files.h"
#include "engine/util/texts.h"

namespace morvane {

namespace os = platform::os;

namespace {

// The field as it will be stored, or false when the definition is invalid.
bool NormaliseField(const FieldDescriptor& in, uint8_t version, const std::string& validTypes,
                    FieldDescriptor& out, bool& memo) {
  out = FieldDescriptor{};
  out.Name = UpperText(Trim(in.Name).substr(0, 10));
  out.Name = Trim(out.Name);
  if (out.Name.empty()) return false;
  out.Type = UpperChar(in.Type);
  if (validTypes.find(out.Type) == std::string::npos || out.Type == '\0') return false;
  if (out.Type == 'B' || out.Type == 'G' || out.Type == 'M' || out.Type == 'P') memo = true;
  if (out.Type == 'F' && version == 0x83) out.Type = 'N';
  switch (out.Type) {
    case 'C':
    case 'F':
    case 'N':
      if (in.Width == 0) return false;
      out.Width = in.Width;
      break;
    case 'D': out.Width = 8; break;
    case 'L': out.Width = 1; break;
    default: out.Width = 10; break;
  }
  out.Decimals = (out.Type == 'N' || out.Type == 'F') ? in.Decimals : 0;
  return true;
}

}  // namespace

void CreateDbf(DbfControlBlock& b, const std::string& name, std::span<const FieldDescriptor> fields) {
  Errors.DbfError = 0;
  const bool extra = DbfSettings.ExtraVersionPlain != 0 || DbfSettings.ExtraVersionMemo != 0;
  const uint8_t v = extra ? 0x8B : DbfSettings.DefaultVersion;
  std::string validTypes = DbfSettings.ValidTypes;
  if (v == 0x8B || v == 0x8C) validTypes += "BGP";
  // The layout and the version bytes follow the version's family: 0x04 and 0x8C are level 7.
  const bool level7 = v == 0x8C || v == 0x04;
  const size_t descriptorSize = level7 ? 48 : 32;
  const size_t prolog = level7 ? 68 : 32;

  // A table needs 1..255 fields; each must be valid.
  std::vector<FieldDescriptor> stored;
  bool memo = false;
  bool valid = !fields.empty() && fields.size() <= 255;
  for (size_t i = 0; valid && i < fields.size(); ++i) {
    FieldDescriptor f;
    valid = NormaliseField(fields[i], v, validTypes, f, memo);
    stored.push_back(std::move(f));
  }
  if (!valid) {
    ReportError(211, "Invalid dBASE field definition [CreateDBF]");
    return;
  }

  const size_t headerLength = prolog + descriptorSize * stored.size() + 1;
  std::vector<uint8_t> header(headerLength, 0);
  header.back() = 0x0D;
  header[8] = static_cast<uint8_t>(headerLength);
  header[9] = static_cast<uint8_t>(headerLength >> 8);
  if (level7) std::copy_n("DBWINWE0", 8, header.begin() + 32);
  uint32_t recordLength = 1;
  for (size_t i = 0; i < stored.size(); ++i) {
    uint8_t* d = header.data() + prolog + i * descriptorSize;
    const FieldDescriptor& f = stored[i];
    std::copy(f.Name.begin(), f.Name.end(), d);
    d[level7 ? 32 : 11] = static_cast<uint8_t>(f.Type);
    d[level7 ? 33 : 16] = f.Width;
    d[level7 ? 34 : 17] = f.Decimals;
    recordLength += f.Width;
  }
  header[10] = static_cast<uint8_t>(recordLength);
  header[11] = static_cast<uint8_t>(recordLength >> 8);
  if (extra) {
    header[0] = memo ? DbfSettings.ExtraVersionMemo : DbfSettings.ExtraVersionPlain;
  } else if (memo) {
    // A table with memo fields needs a version byte that says so; a plain default version
    // (0x02, 0x03, 0x04) takes the dBASE IV memo version of its layout.
    header[0] = VersionHasMemo(v, 0) ? v : (level7 ? 0x8C : 0x8B);
  } else {
    header[0] = level7 ? 0x04 : 0x03;
  }

  // The block describes the new table so that CloseDbf writes its date, count and 0x1A byte.
  b = DbfControlBlock{};
  b.FileName = DefaultExtension(name, "DBF");
  b.FieldCount = static_cast<uint8_t>(stored.size());
  b.Fields = stored;
  b.HasMemo = memo;
  b.HeaderLength = static_cast<uint16_t>(headerLength);
  b.RecordLength = static_cast<uint16_t>(recordLength);
  std::copy_n(header.begin(), 32, b.Header);

  os::SetLastError(0);
  b.File = os::FileCreate(b.FileName, os::fmOpenReadWrite | os::fmShareExclusive);
  uint32_t code = 0;
  if (b.File == os::kInvalidHandle) {
    code = os::LastError() ? os::LastError() : os::kErrAccessDenied;
  } else {
    int64_t put = os::FileWriteAt(b.File, 0, header.data(), header.size());
    if (put != static_cast<int64_t>(header.size()))
      code = os::LastError() ? os::LastError() : os::kErrDiskWrite;
  }
  if (code != 0) {
    // A header that could not be written leaves no half-made table behind.
    if (b.File != os::kInvalidHandle) {
      os::FileClose(b.File);
      os::DeleteFile(b.FileName);
    }
    b.File = os::kInvalidHandle;
    b.State = dsClosed;
    ReportError(static_cast<uint16_t>(code), "Error writing " + b.FileName + ". [CreateDbf]");
    return;
  }
  b.RecordCount = 0;
  b.State = dsAppended;
  CloseDbf(b);
  if (Errors.DbfError == 0 && memo && MemoHooks.CreateMemofile != nullptr)
    MemoHooks.CreateMemofile(ForceExtension(b.FileName, MemoExtension(DbfSettings.DefaultVersion)),
                             DbfSettings.DefaultVersion, DbfSettings.DefaultMemoBlockSize,
                             "CreateDbf()");
}

}  // namespace morvane

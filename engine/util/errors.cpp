// Error reporting: the error table, ReportError / HandleError and the message box, the engine's
// memory blocks and the ANSI / OEM text conversion.
#include "engine/util/errors.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/codepage/codepage.h"

namespace morvane {
namespace {

struct ErrorEntry {
  uint16_t code;
  const char* text;
};

// The error numbers and their texts, in ascending order of code.
constexpr ErrorEntry kErrorTable[] = {
    {1, "Invalid DOS function code"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Not enough memory"},
    {9, "Memory block address invalid"},
    {10, "Environment invalid"},
    {11, "Format invalid"},
    {12, "Invalid file access code"},
    {13, "Data invalid"},
    {14, "Unknown unit"},
    {15, "Invalid drive number"},
    {16, "Cannot remove current directory"},
    {17, "Cannot rename across drives"},
    {18, "Too many open files"},
    {19, "Disk write-protected"},
    {20, "Unknown unit"},
    {21, "Drive not ready"},
    {22, "Unknown command"},
    {23, "CRC error in data"},
    {24, "Bad drive request structure length"},
    {25, "Disk seek error"},
    {26, "Unknown media type"},
    {27, "Disk sector not found"},
    {28, "Printer out of paper"},
    {29, "Device write fault"},
    {30, "Device read fault"},
    {31, "General failure"},
    {32, "File sharing violation"},
    {33, "File lock violation"},
    {34, "Disk change invalid"},
    {35, "File Control Block unavailable"},
    {36, "File sharing buffer overflow"},
    {50, "Unsupported network request"},
    {51, "Remote machine not listening"},
    {52, "Duplicate name on network"},
    {53, "Network name not found"},
    {54, "Network busy"},
    {55, "Device no longer exists on network"},
    {56, "Net-Bios command limit exceeded"},
    {57, "Error in network adapter hardware"},
    {58, "Incorrect response from network"},
    {59, "Unexpected network error"},
    {60, "Remote adapter incompatible"},
    {100, "Disk read error"},
    {101, "Disk write error (probable cause: Disk Full)."},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk write-protected"},
    {151, "Unknown unit"},
    {152, "Drive not ready"},
    {153, "Unknown command"},
    {154, "CRC error in data"},
    {155, "Bad drive request structure length"},
    {156, "Disk seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer out of paper"},
    {160, "Device write fault"},
    {161, "Device read fault"},
    {162, "File sharing violation"},
    {200, "Division by zero error"},
    {201, "Range check error"},
    {202, "Stack overflow error"},
    {203, "Heap overflow error"},
    {204, "Invalid pointer operation"},
    {205, "Floating point overflow"},
    {206, "Floating point underflow"},
    {207, "Invalid floating point operation"},
    {208, "Overlay-manager not installed"},
    {209, "Overlay file read error"},
    {210, "Not a dBASE data file"},
    {211, "Invalid database field type encountered"},
    {212, "Request beyond range"},
    {213, "End of file found unexpectedly"},
    {214, "File already in use"},
    {215, "No database in use"},
    {216, "GP Fault"},
    {217, "Insufficient memory"},
    {218, "Invalid pointer specified"},
    {219, "Cannot duplicate file handle"},
    {220, "Invalid parameter"},
    {221, "Index file not open"},
    {222, "Corrupted index file"},
    {223, "Index version mismatch"},
    {224, "Cyclical relationship detected"},
    {225, "Exclusive Use() required"},
    {226, "BROWSE not active"},
    {227, "Insufficient disk space "},
    {228, "Unbalanced Push/Pop operation "},
    {229, "dBASE IV memo files not supported"},
    {230, "No dBASE memory variables loaded"},
    {231, "Screen library not open"},
    {239, "Missing colon in time"},
    {240, "Non-numeric character in time"},
    {241, "Invalid time specified"},
    {242, "Negative time specified"},
    {243, "TimeDiff result negative"},
    {254, "Morvane internal error"},
    {266, "Invalid size"},
    {1003, "Invalid memo address"},
    {1004, "Disk full"},
    {1005, "Memo file write error"},
    {1007, "Memo file is already open"},
    {1012, "Insufficient disk space to pack memo file"},
    {1017, "Cannot lock memo file"},
    {1018, "Cannot unlock memo file"},
    {1019, "Invalid memo operation: database not open or no memo field in database"},
    {1100, "Not a valid operation on Linked List"},
    {1101, "Virtual File Manager Unit not Linked in"},
    {1102, "Virtual File Memory Management Error"},
    {1103, "Invalid Operation "},
    {1200, "Record not locked"},
    {1201, "File not locked"},
    {1202,
     "Semaphore file error. Possible solutions: log into network or load SHARE.EXE before "
     "running Windows"},
    {1300, "File format not supported"},
};

constexpr size_t kBoxTextLimit = 255;

MessageBoxProc gMessageBoxHook = nullptr;

// The message box without a UI: caption and text on standard error, in UTF-8, CR LF as LF.
int StderrMessageBox(const std::string& text, const std::string& caption, unsigned /*flags*/) {
  std::string body;
  body.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    body += text[i];
  }
  const std::string out = platform::codepage::AnsiToUtf8(caption) + "\n" +
                          platform::codepage::AnsiToUtf8(body) + "\n";
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
  return kIdOk;
}

}  // namespace

std::string_view ErrorMessageOf(uint16_t Code) {
  if (Code == 0) return {};
  if (Code >= 1203 && Code <= 1299) return "Network Error";
  size_t lo = 0, hi = sizeof(kErrorTable) / sizeof(kErrorTable[0]);
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (kErrorTable[mid].code < Code) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < sizeof(kErrorTable) / sizeof(kErrorTable[0]) && kErrorTable[lo].code == Code) {
    return kErrorTable[lo].text;
  }
  return "Undefined error";
}

std::string ErrorText(uint16_t Code) {
  if (Code == 0) return {};
  return "Error # " + std::to_string(Code) + " (" + std::string(ErrorMessageOf(Code)) + ")";
}

void ReportError(uint16_t Code, std::string_view Detail) {
  Errors.DbfError = Code;
  Errors.LastErrorCode = Code;
  Errors.ErrorDetail = std::string(Detail);
  if (Errors.ErrorCheck) HandleError();
}

void HandleError() {
  if (Errors.Halted) return;
  Errors.LastErrorCode = Errors.DbfError;
  if (Errors.ErrorHook != nullptr) {
    Errors.ErrorHook();
    return;
  }
  if (Errors.DbfError == 0) return;
  const std::string text = ErrorText(Errors.DbfError) + "\r\n" + TakeErrorDetail();
  if (Errors.RaiseErrors) throw EMorvaneError(text);
  EngineMessageBox(text, "Program halted.", kMbIconError | kMbOk);
  Errors.Halted = true;
  std::exit(ExitStatusOf(Errors.DbfError));
}

std::string TakeErrorDetail() {
  std::string detail = std::move(Errors.ErrorDetail);
  Errors.ErrorDetail.clear();
  Errors.LastErrorCode = 0;
  return detail;
}

std::string ErrorReport() {
  if (Errors.LastErrorCode == 0) return {};
  std::string text = ErrorText(Errors.LastErrorCode) + "\r\n";
  return text + TakeErrorDetail();
}

bool SetErrorCheck(bool On) {
  const bool previous = Errors.ErrorCheck;
  Errors.ErrorCheck = On;
  return previous;
}

bool SetRaiseErrors(bool On) {
  const bool previous = Errors.RaiseErrors;
  Errors.RaiseErrors = On;
  return previous;
}

void RaiseEngineError(std::string_view Text) { throw EMorvaneError(std::string(Text)); }

int ExitStatusOf(uint16_t Code) {
  const int status = Code & 0xFF;
  return status != 0 ? status : 255;
}

MessageBoxProc SetEngineMessageBoxHook(MessageBoxProc Hook) {
  const MessageBoxProc previous = gMessageBoxHook;
  gMessageBoxHook = Hook;
  return previous;
}

int EngineMessageBox(std::string_view Text, std::string_view Caption, unsigned Flags) {
  const std::string text(Text.substr(0, kBoxTextLimit));
  const std::string caption(Caption.substr(0, kBoxTextLimit));
  if (gMessageBoxHook != nullptr) return gMessageBoxHook(text, caption, Flags);
  return StderrMessageBox(text, caption, Flags);
}

void EngineGetMem(void*& P, uint16_t Size) {
  P = std::calloc(Size == 0 ? 1 : Size, 1);
  if (P == nullptr) ReportError(8, "Cannot allocate " + std::to_string(Size) + " bytes [GetMem()]");
}

void EngineFreeMem(void*& P, uint16_t /*Size*/) {
  if (P == nullptr) {
    ReportError(9, "Attempt to free NIL pointer [FreeMem()]");
    return;
  }
  std::free(P);
  P = nullptr;
}

int32_t MaxAvail() { return 2147483647; }

std::string AnsiToOemText(std::string_view Text) { return platform::codepage::AnsiToOem(Text); }

std::string OemToAnsiText(std::string_view Text) { return platform::codepage::OemToAnsi(Text); }

}  // namespace morvane

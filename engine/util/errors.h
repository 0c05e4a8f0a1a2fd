// The engine's error reporting: the error code and detail of the last failing operation, the
// switches that decide what a reported error does (record it, raise EMorvaneError, or show the
// "Program halted." box and end the process), the table of error texts, and the engine's memory
// and character-set helpers that every layer uses.
//
// Access pattern for process-wide state. Every engine layer keeps its state in ONE struct with a
// single global instance; other code reads and writes the members directly:
//     morvane::Errors.DbfError = 0;          // at the start of an engine operation
//     if (morvane::Errors.DbfError != 0) ... // after a call
//     morvane::Settings.DateConvention       // engine settings (engine/util/startup.h)
// Report failures with ReportError(code, detail); set DbfError directly only to clear it (or,
// where a routine sets it itself, follow with HandleError() when it is not 0 and ErrorCheck is
// on). EngineStartup() (engine/util/startup.h) puts every member back to its start value.
// The engine is single-threaded: none of this is locked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/os/exception.h"

namespace morvane {

// A procedure variable that, when set, takes over the handling of every reported error.
using ErrorHookProc = void (*)();

// The engine's error state and switches.
struct ErrorState {
  uint16_t DbfError = 0;          // code of the last failing operation; 0 = the last one succeeded
  uint16_t LastErrorCode = 0;     // copy of the last reported code; cleared by TakeErrorDetail
  std::string ErrorDetail;        // detail text of the last report, e.g. "... [USE/OpenDbf]"
  bool ErrorCheck = true;         // reported errors are handled at once (HandleError)
  bool RaiseErrors = false;       // handling raises EMorvaneError instead of the box and exit
  ErrorHookProc ErrorHook = nullptr;  // when set, handling calls it instead of everything else
  bool Halted = false;            // the process is ending because of an engine error
};
inline ErrorState Errors;

// The engine's exception. Its message is ErrorText(code), CR LF, and the detail.
class EMorvaneError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

// Records an error: DbfError and the last-error code := Code, ErrorDetail := Detail; then, when
// ErrorCheck is on, HandleError(). May raise EMorvaneError or end the process (see HandleError).
void ReportError(uint16_t Code, std::string_view Detail);

// Handles the error in DbfError: nothing when Halted; else the last-error code := DbfError; when
// ErrorHook is set it is called and nothing else happens; nothing when DbfError is 0; otherwise
// with RaiseErrors on it raises EMorvaneError(ErrorText, CR LF, TakeErrorDetail()), and with it off
// it shows that text in EngineMessageBox captioned "Program halted.", sets Halted and ends the
// process (std::exit) with exit status ExitStatusOf(DbfError).
void HandleError();

// "" for 0; otherwise "Error # <code> (<text of the code>)", "Undefined error" for unknown codes.
std::string ErrorText(uint16_t Code);

// The text of the error table for Code without the "Error # n (...)" frame ("" for 0).
std::string_view ErrorMessageOf(uint16_t Code);

// Returns ErrorDetail, then clears it and the last-error code.
std::string TakeErrorDetail();

// "" when the last-error code is 0; else ErrorText(last-error code) + "\r\n" + TakeErrorDetail().
std::string ErrorReport();

// Set a switch and return its former value.
bool SetErrorCheck(bool On);
bool SetRaiseErrors(bool On);

// Raises EMorvaneError with Text, whatever the switches (for errors that must always raise).
[[noreturn]] void RaiseEngineError(std::string_view Text);

// The process exit status for an engine error code: its low 8 bits, or 255 when those are 0
// (so that a halt never looks like success to the shell, e.g. for code 1280).
int ExitStatusOf(uint16_t Code);

// Message boxes. Flags and results use the Windows values the engine passes.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr int kIdOk = 1;
// The UI port's message box: shows Text under Caption (both already cut to 255 bytes), returns
// the button pressed.
using MessageBoxProc = int (*)(const std::string& Text, const std::string& Caption, unsigned Flags);
// Installs the UI port's message box (nullptr = none); returns the former one. With none, boxes
// are written to standard error as the caption and the text (converted to UTF-8), and give kIdOk.
MessageBoxProc SetEngineMessageBoxHook(MessageBoxProc Hook);
// Shows a modal message box; Text and Caption are cut to 255 characters. Returns the button.
int EngineMessageBox(std::string_view Text, std::string_view Caption, unsigned Flags);

// Engine memory. EngineGetMem allocates Size bytes (zero-filled) into P. EngineFreeMem frees P
// and sets it to null; when P is already null it reports error 9 "Attempt to free NIL pointer
// [FreeMem()]" and P stays null. Size must be the size P was allocated with.
void EngineGetMem(void*& P, uint16_t Size);
void EngineFreeMem(void*& P, uint16_t Size);
template <typename T>
void EngineGetMem(T*& P, uint16_t Size) {
  void* raw = nullptr;
  EngineGetMem(raw, Size);
  P = static_cast<T*>(raw);
}
template <typename T>
void EngineFreeMem(T*& P, uint16_t Size) {
  void* raw = P;
  EngineFreeMem(raw, Size);
  P = static_cast<T*>(raw);
}

// The memory the engine may assume free: always 2147483647.
int32_t MaxAvail();

// ANSI (Windows-1252) <-> OEM (437) text, one character for one character (same length).
std::string AnsiToOemText(std::string_view Text);
std::string OemToAnsiText(std::string_view Text);

}  // namespace morvane

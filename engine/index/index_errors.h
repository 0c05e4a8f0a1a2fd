// How the index layer reports the errors that must reach the caller whatever the error switches
// (the index and semaphore errors marked "always"): recorded like any engine error, handled when
// error checking is on, and raised as EMorvaneError when handling returns or checking is off.
#pragma once

#include <cstdint>
#include <string>

namespace morvane::ndx {

// Records Code and Detail as ReportError does, handles the error when ErrorCheck is on, and then
// raises EMorvaneError(ErrorText(Code) + CR LF + Detail). Never returns.
[[noreturn]] void ReportAlways(uint16_t Code, const std::string& Detail);

}  // namespace morvane::ndx

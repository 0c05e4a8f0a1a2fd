// Errors of the index layer that are raised whatever the error switches.
#include "engine/index/index_errors.h"

#include "engine/util/errors.h"

namespace morvane::ndx {

void ReportAlways(uint16_t Code, const std::string& Detail) {
  ReportError(Code, Detail);  // with error checking on: the box (and exit), or the raise
  throw EMorvaneError(ErrorText(Code) + "\r\n" + Detail);
}

}  // namespace morvane::ndx

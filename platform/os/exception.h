// The platform's general exception class: the base of every exception the program's own layers
// raise (the engine's EMorvaneError, the dataset components' "Dataset error: ..." failures).
#pragma once

#include <stdexcept>

namespace platform {

// A failure with a message text (bytes of the ANSI code page).
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace platform

// A scoped hold of the index semaphore for the command layer: taken through one of the index
// hooks (SetReadSemaphoreProc or SetLockSemaphoreProc) when the hook is installed, and released
// on every way out of the scope.
#pragma once

#include <exception>

namespace morvane {

class SemaphoreHold {
 public:
  using HoldProc = void (*)(bool On);

  // Takes the hold through `proc` when `on` and the hook is installed; a failing take raises
  // (the semaphore's errors always raise) and leaves nothing held.
  SemaphoreHold(HoldProc proc, bool on) : proc_(on ? proc : nullptr) {
    if (proc_ != nullptr) proc_(true);
  }

  // Releasing may raise. When the scope is left by an exception already, a failing release is
  // dropped in favour of that first error instead of ending the process; otherwise it raises.
  ~SemaphoreHold() noexcept(false) {
    if (proc_ == nullptr) return;
    if (std::uncaught_exceptions() > uncaught_) {
      try {
        Release();
      } catch (...) {
      }
    } else {
      Release();
    }
  }

  // Releases now (idempotent).
  void Release() {
    HoldProc proc = proc_;
    proc_ = nullptr;
    if (proc != nullptr) proc(false);
  }

  SemaphoreHold(const SemaphoreHold&) = delete;
  SemaphoreHold& operator=(const SemaphoreHold&) = delete;

 private:
  HoldProc proc_;
  int uncaught_ = std::uncaught_exceptions();
};

}  // namespace morvane

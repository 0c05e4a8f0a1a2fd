// The test switch of platform/os/fault_injection.h. detail::TransferAt asks InterceptTransfer
// before every read and write; while no plan is armed that costs one relaxed atomic load.
#include "platform/os/fault_injection.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/os/handle_table.h"

namespace platform::os::fault {

namespace {

std::atomic<bool> gArmed{false};
std::mutex gMutex;
Plan gPlan;
uint64_t gCalls = 0;
bool gFired = false;
bool gDiskFull = false;  // a kDiskFull plan has fired: every write fails from now on

std::string PathOf(int fd) {
  char buffer[4096];
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

void Arm(const Plan& p) {
  std::lock_guard<std::mutex> guard(gMutex);
  gPlan = p;
  if (gPlan.kind == Kind::kDiskFull) gPlan.on = Calls::kWrites;
  gCalls = 0;
  gFired = false;
  gDiskFull = false;
  gArmed.store(true, std::memory_order_release);
}

void Disarm() {
  std::lock_guard<std::mutex> guard(gMutex);
  gArmed.store(false, std::memory_order_release);
  gDiskFull = false;
}

uint64_t MatchingCalls() {
  std::lock_guard<std::mutex> guard(gMutex);
  return gCalls;
}

bool Fired() {
  std::lock_guard<std::mutex> guard(gMutex);
  return gFired;
}

}  // namespace platform::os::fault

namespace platform::os::detail {

bool InterceptTransfer(Transfer kind, int fd, uint64_t offset, void* buffer, size_t count,
                       int64_t& result) {
  using namespace fault;
  if (!gArmed.load(std::memory_order_acquire)) return false;
  Kind injected;
  {
    std::lock_guard<std::mutex> guard(gMutex);
    if (!gArmed.load(std::memory_order_relaxed)) return false;
    const bool read = kind == Transfer::kRead;
    if ((read && gPlan.on == Calls::kWrites) || (!read && gPlan.on == Calls::kReads)) return false;
    if (!gPlan.fileSuffix.empty() && !EndsWith(PathOf(fd), gPlan.fileSuffix)) return false;
    if (gDiskFull) {
      ++gCalls;
      errno = ENOSPC;
      result = -1;
      return true;
    }
    ++gCalls;
    if (gPlan.nth == 0 || gCalls != gPlan.nth) return false;
    gFired = true;
    injected = gPlan.kind;
    if (injected == Kind::kDiskFull) gDiskFull = true;
  }
  if (injected == Kind::kFail) {
    errno = EIO;
    result = -1;
    return true;
  }
  // kShort and the write that fills the disk: the first half really moves.
  const size_t half = count / 2;
  int64_t done = half == 0 ? 0 : RealTransferAt(kind, fd, offset, buffer, half);
  if (done < 0) {
    result = -1;
    return true;
  }
  errno = kind == Transfer::kRead ? 0 : (injected == Kind::kDiskFull ? ENOSPC : EFBIG);
  result = done;
  return true;
}

}  // namespace platform::os::detail

#include "tests/locks/other_party.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "engine/dbf/workarea.h"
#include "tests/locks/helper/commands.h"

namespace lockstest {

HelperProcess::HelperProcess() : child_(std::vector<std::string>{LOCK_HELPER_PATH}) {}

bool HelperProcess::Send(const std::string& line) { return child_.Send(line); }

std::string HelperProcess::Receive(int timeoutMs) { return child_.Receive(timeoutMs); }

std::string HelperProcess::Ask(const std::string& line) { return child_.Ask(line, 60000); }

int HelperProcess::Finish(int timeoutMs) { return child_.Wait(timeoutMs); }

std::string SecondArea::Ask(const std::string& line) {
  const int home = morvane::CurrentArea();
  morvane::Select(area_);
  const std::string answer = lockhelper::Execute(line);
  morvane::Select(home);
  return answer;
}

std::unique_ptr<OtherParty> MakeOther(OtherKind kind) {
  if (kind == OtherKind::kProcess) return std::make_unique<HelperProcess>();
  return std::make_unique<SecondArea>(2);
}

std::string KindName(OtherKind kind) {
  return kind == OtherKind::kProcess ? "Process" : "WorkArea";
}

bool RangeIsLocked(const std::string& path, uint64_t offset, uint64_t length) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    ADD_FAILURE() << "cannot open " << path;
    return false;
  }
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  const bool locked = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  return locked;
}

}  // namespace lockstest

#include "tests/locks/other_party.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "engine/dbf/workarea.h"
#include "tests/locks/helper/commands.h"

extern char** environ;

namespace lockstest {

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

HelperProcess::HelperProcess() {
  int down[2], up[2];
  if (::pipe2(down, O_CLOEXEC) != 0 || ::pipe2(up, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, down[0], 0);
  posix_spawn_file_actions_adddup2(&actions, up[1], 1);
  std::string program = LOCK_HELPER_PATH;
  char* argv[] = {program.data(), nullptr};
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(down[0]);
  ::close(up[1]);
  toChild_ = down[1];
  fromChild_ = up[0];
  if (rc != 0) {
    pid_ = -1;
    ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(rc);
  }
  // A helper that died must not kill the test with SIGPIPE on the next Send.
  ::signal(SIGPIPE, SIG_IGN);
}

HelperProcess::~HelperProcess() {
  CloseFd(toChild_);
  CloseFd(fromChild_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

bool HelperProcess::Send(const std::string& line) {
  return toChild_ >= 0 && WriteAll(toChild_, line + "\n");
}

std::string HelperProcess::Receive(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t end;
  while ((end = pending_.find('\n')) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (fromChild_ < 0 || left <= 0) {
      ADD_FAILURE() << "the helper did not answer";
      return "";
    }
    pollfd p{fromChild_, POLLIN, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(left));
    if (rc <= 0) continue;
    char buf[512];
    const ssize_t n = ::read(fromChild_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      CloseFd(fromChild_);
      continue;
    }
    pending_.append(buf, static_cast<size_t>(n));
  }
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return line;
}

std::string HelperProcess::Ask(const std::string& line) {
  if (!Send(line)) {
    ADD_FAILURE() << "cannot send \"" << line << "\" to the helper";
    return "";
  }
  return Receive();
}

int HelperProcess::Finish(int timeoutMs) {
  if (pid_ <= 0) return -1;
  CloseFd(toChild_);
  int status = 0;
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    int rc;
    do rc = ::poll(&p, 1, timeoutMs);
    while (rc < 0 && errno == EINTR);
    ::close(pidfd);
    if (rc == 0) {
      ADD_FAILURE() << "the helper did not end within " << timeoutMs << " ms";
      return -1;  // the destructor kills it
    }
  }
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

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

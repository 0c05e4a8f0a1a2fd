#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

namespace testsupport {

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

// Takes one line out of `pending`; false when it holds no complete line.
bool TakeLine(std::string& pending, std::string& line) {
  size_t end = pending.find('\n');
  if (end == std::string::npos) return false;
  line = pending.substr(0, end);
  pending.erase(0, end + 1);
  return true;
}

// The parent's ends of the pipes of every live Child. A new child closes them at once, or it
// would hold another child's line open and that child would never see its end.
std::vector<int>& ParentEnds() {
  static std::vector<int> fds;
  return fds;
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    auto& ends = ParentEnds();
    ends.erase(std::remove(ends.begin(), ends.end(), fd), ends.end());
    ::close(fd);
  }
  fd = -1;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

bool ChildChannel::ReadLine(std::string& line) {
  while (!TakeLine(pending_, line)) {
    char buf[256];
    ssize_t n = ::read(in_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending_.append(buf, static_cast<size_t>(n));
  }
  return true;
}

bool ChildChannel::WriteLine(const std::string& line) { return WriteAll(out_, line + "\n"); }

bool Child::Start(const std::function<void(int in, int out)>& inChild) {
  int down[2];  // parent -> child
  int up[2];    // child -> parent
  if (::pipe2(down, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return false;
  }
  if (::pipe2(up, O_CLOEXEC) != 0) {
    ::close(down[0]);
    ::close(down[1]);
    ADD_FAILURE() << "pipe failed";
    return false;
  }
  pid_t pid = ::fork();
  if (pid < 0) {
    for (int fd : {down[0], down[1], up[0], up[1]}) ::close(fd);
    ADD_FAILURE() << "fork failed";
    return false;
  }
  if (pid == 0) {
    ::close(down[1]);
    ::close(up[0]);
    for (int fd : ParentEnds()) ::close(fd);
    inChild(down[0], up[1]);
    ::_exit(250);
  }
  ::close(down[0]);
  ::close(up[1]);
  // A child that died must not kill the parent with SIGPIPE on the next Send.
  ::signal(SIGPIPE, SIG_IGN);
  pid_ = pid;
  toChild_ = down[1];
  fromChild_ = up[0];
  ParentEnds().push_back(toChild_);
  ParentEnds().push_back(fromChild_);
  return true;
}

Child::Child(std::function<int(ChildChannel&)> body) {
  Start([&body](int in, int out) {
    int code = 250;
    try {
      ChildChannel channel(in, out);
      code = body(channel);
    } catch (...) {
      code = 250;
    }
    ::_exit(code);
  });
}

Child::Child(const std::vector<std::string>& argv) {
  if (argv.empty()) {
    ADD_FAILURE() << "no program to start";
    return;
  }
  // Everything the child needs is built before the fork.
  std::vector<std::string> args = argv;
  std::vector<char*> raw;
  for (std::string& arg : args) raw.push_back(arg.data());
  raw.push_back(nullptr);
  Start([&raw](int in, int out) {
    // dup2 clears close-on-exec on the new descriptors only.
    if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0) ::_exit(127);
    ::execv(raw[0], raw.data());
    ::_exit(127);
  });
}

Child::~Child() {
  CloseFd(toChild_);
  CloseFd(fromChild_);
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

bool Child::Send(const std::string& line) {
  return toChild_ >= 0 && WriteAll(toChild_, line + "\n");
}

std::string Child::Receive(int timeoutMs) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!TakeLine(pending_, line)) {
    if (fromChild_ < 0) {
      ADD_FAILURE() << "the child's line is closed";
      return "";
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      ADD_FAILURE() << "the child did not answer within " << timeoutMs << " ms";
      return "";
    }
    pollfd p{fromChild_, POLLIN, 0};
    int rc = ::poll(&p, 1, static_cast<int>(left));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) continue;
    char buf[256];
    ssize_t n = ::read(fromChild_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      CloseFd(fromChild_);
      ADD_FAILURE() << "the child ended without answering";
      return "";
    }
    pending_.append(buf, static_cast<size_t>(n));
  }
  return line;
}

std::string Child::Ask(const std::string& line, int timeoutMs) {
  if (!Send(line)) {
    ADD_FAILURE() << "cannot send \"" << line << "\" to the child";
    return "";
  }
  return Receive(timeoutMs);
}

int Child::Wait(int timeoutMs) {
  if (pid_ <= 0) return -1;
  if (reaped_) return exitCode_;
  CloseFd(toChild_);
  int status = 0;
  // A pidfd lets the wait have a deadline without polling in a sleep loop.
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    int rc;
    do rc = ::poll(&p, 1, timeoutMs);
    while (rc < 0 && errno == EINTR);
    ::close(pidfd);
    if (rc == 0) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      reaped_ = true;
      ADD_FAILURE() << "the child did not end within " << timeoutMs << " ms";
      return exitCode_ = -1;
    }
  }
  while (::waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) {
      reaped_ = true;
      return exitCode_ = -1;
    }
  }
  reaped_ = true;
  CloseFd(fromChild_);
  return exitCode_ = ExitCodeOf(status);
}

}  // namespace testsupport

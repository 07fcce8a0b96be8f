#pragma once
// Runs a piece of a test in a child process (as the user nobody when asked and when root), so
// that it may change its identity, die of a signal or be limited without touching the test.
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace velunda::common {

inline constexpr uid_t kNobody = 65534;

// The body's exit status, or 128 + the signal that ended it; 99 when nobody could not be become.
inline int RunInChild(const std::function<int()>& body, bool asNobody = false) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (asNobody && ::getuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(99);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace velunda::common

#include "platform/safe_file.hpp"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/scoped_signals.hpp"

namespace velunda {
namespace {

// Named temporary files to remove if a fatal signal comes; read by the handler.
constexpr size_t kSlots = 8;
std::array<char[PATH_MAX], kSlots> g_cleanup{};
std::array<std::atomic<bool>, kSlots> g_cleanupUsed{};

extern "C" void RemoveTemporariesAndDie(int signal) {
  for (size_t i = 0; i < kSlots; ++i) {
    if (g_cleanupUsed[i].load()) {
      ::unlink(g_cleanup[i]);
    }
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

int TakeCleanupSlot(const std::string& path) {
  if (path.size() >= PATH_MAX) {
    return -1;
  }
  for (size_t i = 0; i < kSlots; ++i) {
    if (!g_cleanupUsed[i].load()) {
      std::memcpy(g_cleanup[i], path.c_str(), path.size() + 1);
      g_cleanupUsed[i].store(true);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void ReleaseCleanupSlot(int& slot) {
  if (slot >= 0) {
    g_cleanupUsed[static_cast<size_t>(slot)].store(false);
    slot = -1;
  }
}

// Every signal blocked for the object's life: the short steps that give the new file its
// name must not be cut in the middle.
class BlockedSignals {
 public:
  BlockedSignals() {
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &saved_);
  }
  ~BlockedSignals() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

 private:
  sigset_t saved_{};
};

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  return ".velunda-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

bool NoUnnamedFiles(int err) { return err == EOPNOTSUPP || err == EISDIR || err == EINVAL; }

bool DirectoryRefused(int err) { return err == EACCES || err == EPERM || err == EROFS; }

// Owned by the running user or by root.
bool Trusted(const struct stat& st) { return st.st_uid == 0 || st.st_uid == ::geteuid(); }

// Whether the link described by `link` may be followed to `to`: the link and what it leads to
// (the directory it would be made in, for a name not made yet) belong to the user or root.
// Where `to` cannot be looked at, the open that follows fails the same way.
bool MayFollow(const struct stat& link, const std::string& to) {
  if (!Trusted(link)) {
    return false;
  }
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    return Trusted(st);
  }
  if (errno != ENOENT) {
    return true;
  }
  return ::stat(DirectoryOf(to).c_str(), &st) != 0 || Trusted(st);
}

}  // namespace

std::string FollowLinks(const std::string& path) {
  std::string p = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      return p;
    }
    std::vector<char> link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<size_t>(n) >= link.size()) {
      return p;  // the link changed meanwhile: the open, which follows no link, finds out
    }
    const std::string to(link.data(), static_cast<size_t>(n));
    const std::string next =
        to.starts_with("/") || p.find('/') == std::string::npos ? to : DirectoryOf(p) + "/" + to;
    if (!MayFollow(st, next)) {
      errno = EACCES;
      return "";
    }
    p = next;
  }
  errno = ELOOP;
  return "";
}

SafeFile::SafeFile() = default;

SafeFile::~SafeFile() { Abandon(); }

int SafeFile::Fail(SafeFileStep step, int err) {
  step_ = step;
  return err;
}

int SafeFile::Open(const std::string& path, SafeFileOptions options) {
  Abandon();
  step_ = SafeFileStep::None;
  linkRefused_ = false;
  target_ = FollowLinks(path);
  if (target_.empty()) {
    linkRefused_ = errno == EACCES;
    return Fail(SafeFileStep::Open, errno);
  }
  base_ = BaseOf(target_);
  if (base_.empty() || base_ == "." || base_ == "..") {
    return Fail(SafeFileStep::Open, EISDIR);
  }
  // The links are followed: from here on, a link in the target's place is refused.
  struct stat st {};
  if (::lstat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      return Fail(SafeFileStep::Open, EISDIR);
    }
    if (S_ISLNK(st.st_mode)) {
      return Fail(SafeFileStep::Open, ELOOP);
    }
    if (!S_ISREG(st.st_mode)) {
      if (options.regularOnly) {
        return Fail(SafeFileStep::Open, EPERM);
      }
      regular_ = false;
      return OpenInPlace();
    }
    // Refused as a plain create-or-truncate would refuse it (a read-only file).
    const int probe = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (probe < 0) {
      return Fail(SafeFileStep::Open, errno);
    }
    ::close(probe);
    replaces_ = true;
    mode_ = st.st_mode & 07777;
    uid_ = st.st_uid;
    gid_ = st.st_gid;
  } else if (errno != ENOENT) {
    return Fail(SafeFileStep::Open, errno);
  }

  const std::string dir = DirectoryOf(target_);
  dirFd_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dirFd_ < 0) {
    return Fail(SafeFileStep::Open, errno);
  }
  int err = 0;
  if (options.unnamed) {
    fd_ = ::openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    err = fd_ < 0 ? errno : 0;
    // Giving it a name later goes through /proc; without /proc, take a named file.
    if (fd_ >= 0 && ::access(("/proc/self/fd/" + std::to_string(fd_)).c_str(), F_OK) != 0) {
      ::close(fd_);
      fd_ = -1;
      err = EOPNOTSUPP;
    }
    if (fd_ >= 0) {
      kind_ = SafeFileKind::Unnamed;
      return 0;
    }
  }
  if (!options.unnamed || NoUnnamedFiles(err)) {
    err = OpenNamed(dir);
    if (err == 0) {
      return 0;
    }
  }
  if (options.inPlaceFallback && replaces_ && DirectoryRefused(err)) {
    regular_ = true;
    return OpenInPlace();
  }
  const int saved = err;
  Abandon();
  return Fail(SafeFileStep::Open, saved);
}

int SafeFile::OpenInPlace() {
  // Without waiting for a FIFO's reader; and no link is followed now that the chain is resolved.
  fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd_ >= 0 && regular_ && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd_);  // replaced by a FIFO or a device meanwhile
    fd_ = -1;
    errno = EPERM;
  }
  if (fd_ < 0) {
    const int err = errno;
    Abandon();
    return Fail(SafeFileStep::Open, err);
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  kind_ = SafeFileKind::InPlace;
  return 0;
}

int SafeFile::OpenNamed(const std::string& dir) {
  const std::string name = TemporaryName();
  const std::string full = dir + "/" + name;
  cleanupSlot_ = TakeCleanupSlot(full);
  if (cleanupSlot_ < 0) {
    return ENAMETOOLONG;
  }
  // Installed before the file exists, so no moment has it unguarded.
  // Every signal whose default action ends the process and that can be caught.
  signals_ = std::make_unique<ScopedSignalHandlers>(
      std::initializer_list<int>{SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1,
                                 SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS,
                                 SIGSTKFLT, SIGPWR},
      RemoveTemporariesAndDie);
  fd_ = ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int err = errno;
    ReleaseCleanupSlot(cleanupSlot_);
    signals_.reset();
    return err;
  }
  named_ = name;
  kind_ = SafeFileKind::Named;
  return 0;
}

int SafeFile::Write(const void* data, size_t size) {
  if (fd_ < 0) {
    return Fail(SafeFileStep::Write, EBADF);
  }
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return Fail(SafeFileStep::Write, n < 0 ? errno : ENOSPC);
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

int SafeFile::Commit() {
  if (fd_ < 0) {
    return Fail(SafeFileStep::Write, EBADF);
  }
  if (kind_ == SafeFileKind::InPlace && regular_) {
    // The new content may be shorter than the old.
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    if (end < 0 || ::ftruncate(fd_, end) != 0) {
      const int err = errno;
      Abandon();
      return Fail(SafeFileStep::Write, err);
    }
  }
  if (regular_ && ::fsync(fd_) != 0) {
    const int err = errno;
    Abandon();
    return Fail(SafeFileStep::Sync, err);
  }
  if (replaces_ && kind_ != SafeFileKind::InPlace) {
    // The owner first: a change of owner may clear the set-id bits that the mode then restores.
    if (::fchown(fd_, uid_, gid_) != 0 && ::fchown(fd_, static_cast<uid_t>(-1), gid_) != 0) {
      // Not even the group may be kept: the new file is the user's, as cp would leave it.
    }
    ::fchmod(fd_, mode_);
  }
  return Finish();
}

int SafeFile::Finish() {
  BlockedSignals blocked;
  if (kind_ == SafeFileKind::Unnamed) {
    named_ = TemporaryName();
    const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, proc.c_str(), dirFd_, named_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      const int err = errno;
      named_.clear();
      Abandon();
      return Fail(SafeFileStep::Rename, err);
    }
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) {
    const int err = errno;
    Abandon();
    return Fail(SafeFileStep::Close, err);
  }
  if (kind_ != SafeFileKind::InPlace) {
    if (::renameat(dirFd_, named_.c_str(), dirFd_, base_.c_str()) != 0) {
      const int err = errno;
      Abandon();
      return Fail(SafeFileStep::Rename, err);
    }
    named_.clear();
  }
  kind_ = SafeFileKind::None;
  Abandon();  // releases the directory and the signal handlers; nothing is left to remove
  return 0;
}

void SafeFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!named_.empty()) {
    ::unlinkat(dirFd_, named_.c_str(), 0);
    named_.clear();
  }
  ReleaseCleanupSlot(cleanupSlot_);
  signals_.reset();
  if (dirFd_ >= 0) {
    ::close(dirFd_);
    dirFd_ = -1;
  }
  kind_ = SafeFileKind::None;
  replaces_ = false;
  regular_ = true;
}

}  // namespace velunda

#pragma once
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace velunda {

class ScopedSignalHandlers;

// How a SafeFile holds the new content until Commit.
enum class SafeFileKind {
  None,
  Unnamed,  // O_TMPFILE in the target's directory: vanishes with the process, whatever kills it
  Named,    // a hidden file beside the target (file systems without O_TMPFILE), removed on
            // every catchable fatal signal; only SIGKILL or a crash can leave it behind
  InPlace,  // the target itself: a FIFO or device, or (when allowed) a file in a directory
            // where no new file can be made
};

// The step that failed, so callers can word their message.
enum class SafeFileStep { None, Open, Write, Sync, Close, Rename };

struct SafeFileOptions {
  // When no new file can be made beside an existing regular target (a directory the user
  // cannot write to), write the target itself, synced, instead of failing.
  bool inPlaceFallback = false;
  // False takes the named file even where O_TMPFILE works (tests of the fallback).
  bool unnamed = true;
  // Only a regular file is written: a FIFO, device or socket, named or reached through a link,
  // is refused (EPERM) instead of being written in place.
  bool regularOnly = false;
};

// Replaces a file so that a failure or interruption never leaves a partial file under its
// name, nor a stray file beside it:
// - symbolic links are followed only when safe (see FollowLinks): the file they lead to is
//   replaced, the links stay; a link refused fails the Open with EACCES and LinkRefused();
// - a replaced file keeps its mode (and owner and group, where the system allows it); it is a
//   new file, so a hard link to the old one keeps the old content;
// - an existing file that cannot be opened for writing (read-only, mode 444) is refused with
//   that open's errno, as a plain create-or-truncate would be;
// - a target that is not a regular file (FIFO, character device) is written in place, unless
//   SafeFileOptions::regularOnly;
// - the temporary name is short, so any name the file system takes works.
// Errors are the errno of the failing call; Step() says which call it was.
class SafeFile {
 public:
  SafeFile();
  ~SafeFile();  // abandons the new content unless committed
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Prepares the replacement of `path`. 0 or an errno.
  int Open(const std::string& path, SafeFileOptions options = {});
  int Fd() const { return fd_; }
  // Writes all of `data` at the current position. 0 or an errno (ENOSPC for a write that
  // makes no progress).
  int Write(const void* data, size_t size);
  // Syncs the content and gives it the target's name. 0 or an errno.
  int Commit();
  // Drops the new content; the target stays as it was (an in-place target keeps what was
  // written to it).
  void Abandon();

  SafeFileKind Kind() const { return kind_; }
  SafeFileStep Step() const { return step_; }
  // The file replaced: the path given, with symbolic links followed.
  const std::string& Target() const { return target_; }
  // The Open failed on a symbolic link that is not safe to follow.
  bool LinkRefused() const { return linkRefused_; }

 private:
  int Fail(SafeFileStep step, int err);
  int OpenInPlace();
  int OpenNamed(const std::string& dir);
  int Finish();

  std::string target_;
  std::string base_;
  std::string named_;  // the named temporary file, while it exists
  int dirFd_ = -1;
  int fd_ = -1;
  SafeFileKind kind_ = SafeFileKind::None;
  SafeFileStep step_ = SafeFileStep::None;
  bool replaces_ = false;  // an existing regular file is replaced
  bool regular_ = true;    // in place: the target is a regular file
  bool linkRefused_ = false;
  mode_t mode_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  int cleanupSlot_ = -1;
  std::unique_ptr<ScopedSignalHandlers> signals_;
};

// `path` with its symbolic links followed (relative links from the link's directory), up to
// the first component that does not exist. A link is followed only when it belongs to the
// running user or root, and so does what it leads to (or, for a name not made yet, the
// directory it would be made in): a link another user left in /tmp is never followed, as root
// neither. Empty, with errno ELOOP on a loop or EACCES on a link refused.
std::string FollowLinks(const std::string& path);

}  // namespace velunda

// Replacing files: the outcomes for each kind of target, the old file kept on every failure,
// and nothing left beside it whatever ends the process.
#include "platform/safe_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>

#include "common/child.hpp"
#include "common/files.hpp"

namespace velunda {
namespace {

namespace fs = std::filesystem;

class SafeFileTest : public ::testing::TestWithParam<bool> {  // true: O_TMPFILE
 protected:
  std::string P(const std::string& name) const { return dir_.P(name); }
  void Put(const std::string& name, const std::string& text, mode_t mode = 0644) const {
    common::WriteFile(P(name), text, mode);
  }
  std::string Get(const std::string& name) const { return common::ReadFile(P(name)); }
  std::set<std::string> Listing(const std::string& sub = "") const { return dir_.Listing(sub); }
  SafeFileOptions Options(bool inPlace = false) const {
    SafeFileOptions o;
    o.unnamed = GetParam();
    o.inPlaceFallback = inPlace;
    return o;
  }
  // Writes `text` to `name` with a SafeFile; 0 or the errno.
  int Replace(const std::string& name, const std::string& text, SafeFileOptions options) const {
    SafeFile f;
    if (const int err = f.Open(P(name), options)) {
      return err;
    }
    if (const int err = f.Write(text.data(), text.size())) {
      return err;
    }
    return f.Commit();
  }

  common::TempDir dir_;
};

// What a replacement does to the target and its surroundings.
TEST_P(SafeFileTest, ReplacesThroughLinksKeepingModeAndName) {
  Put("old", "previous", 0600);
  fs::create_hard_link(P("old"), P("hard"));
  Put("target", "t0");
  fs::create_symlink("target", P("rel"));
  fs::create_symlink(P("rel"), P("chain"));  // absolute, then relative
  fs::create_symlink("nothing", P("dangling"));
  fs::create_directory(P("sub"));
  fs::create_symlink("../target", P("sub/up"));
  const std::string longName(255, 'n');
  const struct {
    const char* name;
    std::string path;
    std::string content;  // what the file reached through `path` holds afterwards
    std::string reached;  // that file
    mode_t mode;
  } cases[] = {
      {"NewFile", "new", "abc", "new", 0666 & ~0022},
      {"ModeKept", "old", "new content", "old", 0600},
      {"RelativeLink", "rel", "via rel", "target", 0644},
      {"LinkChain", "chain", "via chain", "target", 0644},
      {"LinkUpward", "sub/up", "via up", "target", 0644},
      {"DanglingLinkCreatesItsTarget", "dangling", "made", "nothing", 0666 & ~0022},
      {"LongestName", longName, "long", longName, 0666 & ~0022},
  };
  const mode_t savedMask = ::umask(0022);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Replace(c.path, c.content, Options()), 0);
    EXPECT_EQ(Get(c.reached), c.content);
    struct stat st {};
    ASSERT_EQ(::stat(P(c.reached).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
  }
  ::umask(savedMask);
  EXPECT_TRUE(fs::is_symlink(P("rel")) && fs::is_symlink(P("chain")) &&
              fs::is_symlink(P("dangling")) && fs::is_symlink(P("sub/up")));
  EXPECT_EQ(Get("hard"), "previous");  // a replaced file is a new file
  EXPECT_EQ(Listing(), (std::set<std::string>{"old", "hard", "target", "rel", "chain", "dangling",
                                              "nothing", "sub", "new", longName}));
}

// Every refusal keeps the old file and leaves nothing beside it.
TEST_P(SafeFileTest, RefusalsKeepTheOldFile) {
  Put("old", "previous");
  Put("file", "x");
  fs::create_directory(P("dir"));
  fs::create_symlink("loop2", P("loop1"));
  fs::create_symlink("loop1", P("loop2"));
  const struct {
    const char* name;
    std::string path;
    int err;
    SafeFileStep step;
    rlim_t sizeLimit = 0;
  } cases[] = {
      {"Directory", "dir", EISDIR, SafeFileStep::Open},
      {"MissingDirectory", "absent/out", ENOENT, SafeFileStep::Open},
      {"ParentIsAFile", "file/out", ENOTDIR, SafeFileStep::Open},
      {"NameTooLong", std::string(256, 'n'), ENAMETOOLONG, SafeFileStep::Open},
      {"LinkLoop", "loop1", ELOOP, SafeFileStep::Open},
      {"FullDisk", "old", EFBIG, SafeFileStep::Write, 4},
  };
  const auto before = Listing();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SafeFile f;
    const int err = common::WithFileSizeLimit(c.sizeLimit, [&] {
      const int open = f.Open(P(c.path), Options());
      return open != 0 ? open : f.Write("0123456789", 10);
    });
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(f.Step(), c.step);
  }
  EXPECT_EQ(Get("old"), "previous");
  EXPECT_EQ(Listing(), before);
}

// A FIFO is written in place, never replaced; with no reader it is refused at once.
TEST_P(SafeFileTest, FifoIsWrittenInPlace) {
  ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0666), 0);
  SafeFile refused;
  EXPECT_EQ(refused.Open(P("fifo"), Options()), ENXIO);
  const int reader = ::open(P("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(Replace("fifo", "through", Options()), 0);
  char got[16] = {};
  EXPECT_EQ(::read(reader, got, sizeof(got)), 7);
  ::close(reader);
  EXPECT_TRUE(fs::is_fifo(P("fifo")));
  EXPECT_EQ(Listing(), (std::set<std::string>{"fifo"}));
}

// As an unprivileged user: a read-only file is refused as a plain open would refuse it; a
// writable file in a locked directory is written in place only when allowed.
TEST_P(SafeFileTest, UnprivilegedOutcomes) {
  if (::getuid() != 0 && ::geteuid() != 65534) {
    GTEST_SKIP() << "needs root (to become nobody) or to run as nobody";
  }
  fs::create_directory(P("locked"));
  Put("locked/file", "old content, longer");
  Put("readonly", "kept", 0444);
  ASSERT_EQ(::chown(P("locked/file").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chown(P("readonly").c_str(), 65534, 65534), 0);
  ::chmod(P("locked").c_str(), 0555);
  const struct {
    const char* name;
    std::string path;
    bool inPlace;
    int err;
    std::string after;
  } cases[] = {
      {"ReadOnlyFile", "readonly", true, EACCES, "kept"},
      {"LockedDirectoryNoFallback", "locked/file", false, EACCES, "old content, longer"},
      {"LockedDirectoryInPlace", "locked/file", true, 0, "short"},
      {"NewFileInLockedDirectory", "locked/new", true, EACCES, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int err =
        common::RunInChild([&] { return Replace(c.path, "short", Options(c.inPlace)); }, true);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(Get(c.path), c.after);
  }
  EXPECT_EQ(Listing("locked"), (std::set<std::string>{"file"}));
  struct stat st {};
  ASSERT_EQ(::stat(P("readonly").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// A link is followed only when it and what it leads to (for a new name, the directory it would
// be made in) belong to the user or root, in a sticky world-writable directory as elsewhere;
// with regularOnly nothing but a regular file is written.
TEST_P(SafeFileTest, LinksFollowedOnlyWhenSafe) {
  if (::getuid() != 0) {
    GTEST_SKIP() << "needs root (to become nobody and to give files away)";
  }
  fs::create_directory(P("sticky"));
  ::chmod(P("sticky").c_str(), 01777);
  fs::create_directory(P("theirs"));
  ASSERT_EQ(::chown(P("theirs").c_str(), 1234, 1234), 0);
  ::chmod(P("theirs").c_str(), 0777);  // only the link rule keeps nobody out
  Put("decoy", "decoy");
  Put("their-file", "theirs", 0666);
  ASSERT_EQ(::chown(P("their-file").c_str(), 1234, 1234), 0);
  Put("sticky/mine", "mine");
  ASSERT_EQ(::chown(P("sticky/mine").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0666), 0);
  const auto link = [&](const std::string& to, const std::string& name, uid_t owner) {
    fs::create_symlink(to, P("sticky/" + name));
    ASSERT_EQ(::lchown(P("sticky/" + name).c_str(), owner, owner), 0);
  };
  link(P("decoy"), "to-decoy", 65534);
  link(P("their-file"), "to-theirs", 0);
  link("mine", "to-mine", 65534);
  link("/dev/null", "to-null", 65534);
  link("made", "to-new", 65534);
  link(P("theirs/made"), "into-theirs", 65534);
  const struct {
    const char* name;
    bool nobody;
    std::string path;
    bool regularOnly;
    int err;
    std::string reached, after;  // a file and what it holds afterwards
  } cases[] = {
      {"RootRefusesAnotherUsersLink", false, "sticky/to-decoy", false, EACCES, "decoy", "decoy"},
      {"RootRefusesLinkToAnotherUsersFile", false, "sticky/to-theirs", false, EACCES, "their-file",
       "theirs"},
      {"NobodyRefusesLinkToAnotherUsersFile", true, "sticky/to-theirs", false, EACCES, "their-file",
       "theirs"},
      {"NobodyFollowsOwnLinkToOwnFile", true, "sticky/to-mine", false, 0, "sticky/mine", "new"},
      {"NobodyFollowsOwnLinkToRootsDevice", true, "sticky/to-null", false, 0, "", ""},
      {"NobodyCreatesThroughOwnDanglingLink", true, "sticky/to-new", false, 0, "sticky/made",
       "new"},
      {"NobodyRefusesNewNameInAnotherUsersDirectory", true, "sticky/into-theirs", false, EACCES,
       "theirs/made", ""},
      {"RegularOnlyRefusesDeviceThroughLink", true, "sticky/to-null", true, EPERM, "", ""},
      {"RegularOnlyRefusesFifo", false, "fifo", true, EPERM, "", ""},
      {"RegularOnlyRefusesDevice", false, "/dev/null", true, EPERM, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SafeFileOptions options = Options();
    options.regularOnly = c.regularOnly;
    const std::string path = c.path.starts_with("/") ? c.path : P(c.path);
    const auto writeNew = [&] {
      SafeFile f;
      const int err = f.Open(path, options);
      return err != 0 ? err : f.Write("new", 3) != 0 || f.Commit() != 0 ? 100 : 0;
    };
    EXPECT_EQ(common::RunInChild(writeNew, c.nobody), c.err);
    if (!c.reached.empty()) {
      EXPECT_EQ(Get(c.reached), c.after);
    }
  }
}

// A process that dies while writing leaves the directory as it was: the unnamed file vanishes
// with it, even on SIGKILL; the named one is removed by the handler of every catchable fatal
// signal.
TEST_P(SafeFileTest, DeathLeavesNothingBehind) {
  Put("out", "previous");
  for (int s : {SIGPIPE, SIGXFSZ, SIGQUIT, SIGUSR1, SIGALRM, SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
    if (s == SIGKILL && !GetParam()) {
      continue;  // no handler runs: only the unnamed file can promise this
    }
    SCOPED_TRACE(strsignal(s));
    const int status = common::RunInChild([&] {
      ::signal(s, SIG_DFL);
      SafeFile f;
      if (f.Open(P("out"), Options()) != 0 || f.Write("partial", 7) != 0) {
        return 1;
      }
      if (f.Kind() != (GetParam() ? SafeFileKind::Unnamed : SafeFileKind::Named)) {
        return 2;
      }
      ::raise(s);
      return 3;
    });
    EXPECT_EQ(status, 128 + s);
    EXPECT_EQ(Listing(), (std::set<std::string>{"out"}));
    EXPECT_EQ(Get("out"), "previous");
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SafeFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

}  // namespace
}  // namespace velunda

#pragma once
// Shared by the velunda-filtre tests: a private work directory, byte files in it, and runs of
// the built program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/wav.hpp"

namespace velunda::testing {

using common::Bytes;
using common::Noise;
using common::ReadRecordingU8;
using common::WavU8Image;
using common::WriteWavU8;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Where a standard stream of the program goes.
enum class Stream { File, Closed, Full, ReaderGone };
struct RunSetup {
  long fileSizeLimit = 0;
  Stream out = Stream::File;
  Stream err = Stream::File;
  // A FIFO of the work directory that gets 8000 bytes; once the program has taken them all
  // and waits for more, it is sent `signal` (0: the FIFO is closed, so the input ends).
  // Without a FIFO, `signal` comes half a second after the start.
  std::string fifo;
  int signal = 0;
  std::string stdinName;  // the work directory's file on standard input (else /dev/null)
};

// In a child process: becomes velunda-filtre with these arguments (its name put first).
[[noreturn]] inline void ExecFiltre(std::vector<std::string> args) {
  args.insert(args.begin(), VELUNDA_FILTRE);
  std::vector<char*> argv;
  for (auto& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

class WorkDir : public ::testing::Test {
 protected:
  using Stream = testing::Stream;
  using RunSetup = testing::RunSetup;

  std::string Path(const std::string& name) const { return tmp_.P(name); }
  void WriteBytes(const std::string& name, const Bytes& bytes) const {
    common::WriteFile(Path(name), std::string(bytes.begin(), bytes.end()));
  }
  Bytes ReadBytes(const std::string& name) const { return common::ReadBytes(Path(name)); }

  // The names in the work directory but the captured output and the configuration home (where
  // the sound server's client keeps its own): a failed run must leave nothing.
  std::set<std::string> Listing() const {
    std::set<std::string> names = tmp_.Listing();
    for (const char* kept : {".out", ".err", ".config"}) {
      names.erase(kept);
    }
    return names;
  }

  // Runs velunda-filtre in the work directory with stdin from /dev/null. `line` is split at
  // spaces; a word "@x" stands for the work directory's file x. `fileSizeLimit` > 0 makes
  // writes beyond that many bytes fail, as on a full disk. `stdinName`: the work directory's
  // file to read standard input from instead.
  RunResult Run(const std::string& line, long fileSizeLimit = 0,
                const std::string& stdinName = "") const {
    RunSetup setup;
    setup.fileSizeLimit = fileSizeLimit;
    setup.stdinName = stdinName;
    return Run(line, setup);
  }

  // The same with streams, a FIFO input and a signal; a run killed by signal s gives 128 + s.
  RunResult Run(const std::string& line, const RunSetup& setup) const {
    std::vector<std::string> args;
    std::istringstream words(line);
    for (std::string w; words >> w;) {
      args.push_back(w.starts_with("@") ? Path(w.substr(1)) : w);
    }
    const std::string outPath = Path(".out"), errPath = Path(".err");
    int fifo = -1;
    if (!setup.fifo.empty()) {
      fifo = ::open(Path(setup.fifo).c_str(), O_RDWR);  // never waits for a reader
      const std::vector<char> bytes(8000, static_cast<char>(128));
      EXPECT_EQ(::write(fifo, bytes.data(), bytes.size()), 8000);
    }
    int gone[2] = {-1, -1};
    EXPECT_EQ(::pipe(gone), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      const auto place = [&](Stream s, int fd, const std::string& path) {
        switch (s) {
          case Stream::File:
            ::dup2(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), fd);
            break;
          case Stream::Closed:
            break;  // closed once every stream is placed
          case Stream::Full:
            ::dup2(::open("/dev/full", O_WRONLY), fd);
            break;
          case Stream::ReaderGone:
            ::dup2(gone[1], fd);
            break;
        }
      };
      ::close(gone[0]);
      if (fifo >= 0) {
        ::close(fifo);
      }
      const std::string in = setup.stdinName.empty() ? "/dev/null" : Path(setup.stdinName);
      ::dup2(::open(in.c_str(), O_RDONLY), STDIN_FILENO);
      place(setup.out, STDOUT_FILENO, outPath);
      place(setup.err, STDERR_FILENO, errPath);
      ::close(gone[1]);
      for (auto [s, fd] : {std::pair{setup.out, STDOUT_FILENO}, {setup.err, STDERR_FILENO}}) {
        if (s == Stream::Closed) {
          ::close(fd);
        }
      }
      if (::chdir(dir_.c_str()) != 0) {
        ::_exit(127);
      }
      ::setenv("XDG_CONFIG_HOME", Path(".config").c_str(), 1);  // never the user's settings
      std::signal(SIGPIPE, SIG_DFL);
      if (setup.fileSizeLimit > 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(setup.fileSizeLimit),
                           static_cast<rlim_t>(setup.fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ExecFiltre(args);
    }
    ::close(gone[0]);  // the reader is gone from the start
    ::close(gone[1]);
    if (fifo >= 0) {
      // Taken all of it (bounded to 20 s), then a moment to process it and wait for more.
      int left = 1;
      for (int i = 0; i < 2000 && left > 0 && ::ioctl(fifo, FIONREAD, &left) == 0; ++i) {
        ::usleep(10000);
      }
      EXPECT_EQ(left, 0) << "the program did not read its input";
      ::usleep(200000);
      if (setup.signal != 0) {
        ::kill(pid, setup.signal);
      }
      ::close(fifo);
    } else if (setup.signal != 0) {
      ::usleep(500000);
      ::kill(pid, setup.signal);
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = common::ReadFile(outPath);
    r.err = common::ReadFile(errPath);
    return r;
  }

  common::TempDir tmp_;
  const std::filesystem::path dir_ = tmp_.path();
};

}  // namespace velunda::testing

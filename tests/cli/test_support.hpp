#pragma once
// Shared by the velunda-filtre tests: a private work directory, byte files in it, and runs of
// the built program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace velunda::testing {

using Bytes = std::vector<uint8_t>;

// Pseudo-random bytes, every value equally likely.
inline Bytes Noise(size_t n, uint32_t seed) {
  Bytes v(n);
  for (uint8_t& s : v) {
    seed = seed * 1103515245u + 12345u;
    s = static_cast<uint8_t>(seed >> 24);
  }
  return v;
}

// Unsigned 8-bit mono samples as the bytes of a WAV file: a 44-byte header, the samples, a
// pad byte after an odd length.
inline Bytes WavU8Image(const Bytes& samples, int32_t rate) {
  const auto size = static_cast<uint32_t>(samples.size());
  static constexpr uint8_t kHeader[44] = {
      'R', 'I', 'F', 'F', 0, 0, 0, 0,   'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0,
      1,   0,   0,   0,   0, 0, 0, 0,   0,   0,   1,   0,   8,   0,   'd', 'a', 't', 'a', 0, 0, 0, 0};
  // Made at its full size and filled in place: growing it from the header makes GCC 12 see a
  // copy past the header's bounds (-Warray-bounds) in optimised builds.
  Bytes out(sizeof(kHeader) + size + (size & 1), 0);
  std::copy(std::begin(kHeader), std::end(kHeader), out.begin());
  std::copy(samples.begin(), samples.end(), out.begin() + sizeof(kHeader));
  const auto put = [&out](size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
      out[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
  };
  put(4, 36 + size + (size & 1));
  put(24, static_cast<uint32_t>(rate));
  put(28, static_cast<uint32_t>(rate));  // bytes per second
  put(40, size);
  return out;
}

inline bool WriteWavU8(const std::string& path, const Bytes& samples, int32_t rate) {
  const Bytes image = WavU8Image(samples, rate);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()),
            static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

// A recording as libsndfile reads it (its first channel) as unsigned 8-bit samples; its rate
// and format in `info`. False when libsndfile cannot open it.
inline bool ReadRecordingU8(const std::string& path, Bytes& samples, SF_INFO& info) {
  info = {};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return false;
  }
  std::vector<short> frame(static_cast<size_t>(info.channels));
  samples.clear();
  // 16-bit reads give (u - 128) << 8 for an 8-bit file, so bytes come back exactly.
  while (sf_readf_short(file, frame.data(), 1) == 1) {
    samples.push_back(static_cast<uint8_t>((frame[0] >> 8) + 128));
  }
  sf_close(file);
  return true;
}

struct RunResult {
  int status = -1;
  int signal = 0;     // the signal that ended the program, 0 if it exited
  long maxRssKb = 0;  // its peak resident memory
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
  bool unprivileged = false;  // run as the user nobody (when root)
  std::string stdinName;       // the work directory's file on standard input (else /dev/null)
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

  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "velunda-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  void WriteBytes(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Bytes ReadBytes(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  // The names in the work directory but the captured output and the configuration home (where
  // the sound server's client keeps its own): a failed run must leave nothing.
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      names.insert(e.path().filename().string());
    }
    names.erase(".out");
    names.erase(".err");
    names.erase(".config");
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
      if (setup.unprivileged && ::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
        ::_exit(126);
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
    rusage usage{};
    ::wait4(pid, &wstatus, 0, &usage);
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    r.maxRssKb = usage.ru_maxrss;
    std::ifstream out(outPath);
    r.out.assign(std::istreambuf_iterator<char>(out), {});
    std::ifstream err(errPath);
    r.err.assign(std::istreambuf_iterator<char>(err), {});
    return r;
  }

  std::filesystem::path dir_;
};

}  // namespace velunda::testing

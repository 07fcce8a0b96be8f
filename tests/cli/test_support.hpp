#pragma once
// Shared by the velunda-filtre tests: a private work directory, byte files in it, and runs of
// the built program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct RunResult {
  int status = -1;
  int signal = 0;     // the signal that ended the program, 0 if it exited
  long maxRssKb = 0;  // its peak resident memory
  std::string out;
  std::string err;
};

class WorkDir : public ::testing::Test {
 protected:
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

  // The names in the work directory but the captured output: a failed run must leave nothing.
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      names.insert(e.path().filename().string());
    }
    names.erase(".out");
    names.erase(".err");
    return names;
  }

  // Runs velunda-filtre in the work directory with stdin from /dev/null. `line` is split at
  // spaces; a word "@x" stands for the work directory's file x. `fileSizeLimit` > 0 makes
  // writes beyond that many bytes fail, as on a full disk. `stdinName`: the work directory's
  // file to read standard input from instead.
  RunResult Run(const std::string& line, long fileSizeLimit = 0,
                const std::string& stdinName = "") const {
    std::vector<std::string> args{VELUNDA_FILTRE};
    std::istringstream words(line);
    for (std::string w; words >> w;) {
      args.push_back(w.starts_with("@") ? Path(w.substr(1)) : w);
    }
    const std::string outPath = Path(".out"), errPath = Path(".err");
    const pid_t pid = ::fork();
    if (pid == 0) {
      const std::string in = stdinName.empty() ? "/dev/null" : Path(stdinName);
      ::dup2(::open(in.c_str(), O_RDONLY), STDIN_FILENO);
      ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
      ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      if (::chdir(dir_.c_str()) != 0) {
        ::_exit(127);
      }
      if (fileSizeLimit > 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> argv;
      for (auto& a : args) {
        argv.push_back(a.data());
      }
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int wstatus = 0;
    rusage usage{};
    ::wait4(pid, &wstatus, 0, &usage);
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
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

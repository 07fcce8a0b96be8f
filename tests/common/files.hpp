#pragma once
// Whole files read and written, and a private temporary directory removed with everything in
// it. No test framework here: both gtest and Qt Test use it.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>

namespace velunda::common {

inline void WriteFile(const std::string& name, const std::string& bytes, mode_t mode = 0) {
  std::ofstream(name, std::ios::binary) << bytes;
  if (mode != 0) {
    ::chmod(name.c_str(), mode);
  }
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What `body` returns, run with writes past `limit` bytes of a file failing as on a full disk
// (0: no limit) and SIGXFSZ ignored; both put back after.
template <typename Body>
auto WithFileSizeLimit(rlim_t limit, Body body) {
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit cut = saved;
  cut.rlim_cur = limit != 0 ? limit : saved.rlim_cur;
  ::setrlimit(RLIMIT_FSIZE, &cut);
  const auto result = body();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  return result;
}

// A fresh directory under the system's temporary one, open to every user (so that tests run as
// nobody work in it too), removed on destruction.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velunda-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
    ::chmod(pattern.c_str(), 0777);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string P(const std::string& name) const { return (path_ / name).string(); }
  std::set<std::string> Listing(const std::string& sub = "") const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_ / sub)) {
      names.insert(e.path().filename().string());
    }
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace velunda::common

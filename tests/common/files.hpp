#pragma once
// Whole files read and written, and a private temporary directory removed with everything in
// it. No test framework here: both gtest and Qt Test use it.
#include <sys/stat.h>
#include <unistd.h>

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

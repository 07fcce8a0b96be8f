#pragma once
// Shared by the config tests: a temporary working directory, and the records and mixer values
// of common/records.hpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/records.hpp"

namespace velunda::testing {

using common::ReadFile;
using common::Record;
using common::Values;
using common::WriteFile;

// Runs each test in a fresh temporary directory, made the working directory.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "velunda-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  static long FileCount() { return std::distance(std::filesystem::directory_iterator("."), {}); }

  std::filesystem::path dir_;

 private:
  std::filesystem::path previous_;
};

}  // namespace velunda::testing

namespace velunda {
using testing::ReadFile;
using testing::Record;
using testing::Values;
using testing::WriteFile;
}  // namespace velunda

#pragma once
// Shared by the config tests: a temporary working directory, and the records and mixer values
// of common/records.hpp.
#include <gtest/gtest.h>

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
  void SetUp() override { std::filesystem::current_path(dir_); }
  void TearDown() override { std::filesystem::current_path(previous_); }
  static long FileCount() { return std::distance(std::filesystem::directory_iterator("."), {}); }

  std::filesystem::path previous_ = std::filesystem::current_path();
  common::TempDir temp_;
  std::filesystem::path dir_ = temp_.path();
};

}  // namespace velunda::testing

namespace velunda {
using testing::ReadFile;
using testing::Record;
using testing::Values;
using testing::WriteFile;
}  // namespace velunda

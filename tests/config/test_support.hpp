#pragma once
// Shared by the config tests: a temporary working directory, configuration records, and a
// mixer's values for comparison.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/mixer_model.hpp"

namespace velunda::testing {

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

  static void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static long FileCount() { return std::distance(std::filesystem::directory_iterator("."), {}); }

  std::filesystem::path dir_;

 private:
  std::filesystem::path previous_;
};

// A configuration record: gain code at 1, input at 4, mixer mode at 6, spaces elsewhere.
inline std::string Record(uint8_t gain, uint8_t input, uint8_t mode, size_t length = 7) {
  std::string r(length, ' ');
  r[1] = static_cast<char>(gain);
  r[4] = static_cast<char>(input);
  r[6] = static_cast<char>(mode);
  return r;
}

// Every control's value, mute and selection, one line each, named by its line.
inline std::vector<std::string> Values(const MixerDescription& mixer) {
  std::vector<std::string> values;
  auto add = [&values](const LineDescription& line) {
    for (size_t k = 0; k < line.Controls.size(); ++k) {
      const ControlDescription& c = line.Controls[k];
      std::string v = line.ShortName + "/" + std::to_string(k) + " " +
                      std::to_string(c.Value.Left) + " " + std::to_string(c.Value.Right) +
                      (c.Switch ? " muet " : " ");
      for (bool on : c.Selection) {
        v += on ? 'x' : '.';
      }
      values.push_back(v);
    }
  };
  for (const auto& d : mixer.Destinations) {
    add(d.Line);
    for (const auto& s : d.Sources) {
      add(s);
    }
  }
  return values;
}

}  // namespace velunda::testing

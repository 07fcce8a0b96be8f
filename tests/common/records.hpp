#pragma once
// Shared by the config and window tests: configuration records, and a mixer's values for
// comparison. No test framework here: both gtest and Qt Test use it.
#include <cstdint>
#include <string>
#include <vector>

#include "common/files.hpp"
#include "platform/mixer_model.hpp"

namespace velunda::common {

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

}  // namespace velunda::common

#pragma once
// Error boxes and speaker gate changes in one journal, to check their order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.hpp"
#include "platform/speaker.hpp"

namespace velunda::common {

struct Journal final : MessageBox, SpeakerPorts {
  void ShowError(std::string_view text) override {
    messages.emplace_back(text);
    entries.emplace_back(text);
  }
  void Out(uint16_t port, uint8_t value) override {
    if (port == 0x61) {
      entries.emplace_back((value & 3) == 3 ? "tone on" : "tone off");
      gate = value;
    }
  }
  uint8_t In(uint16_t port) override { return port == 0x61 ? gate : 0; }
  std::vector<std::string> messages;  // the boxes alone
  std::vector<std::string> entries;
  uint8_t gate = 0;
};

}  // namespace velunda::common

#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_source.hpp"

namespace velunda {

// A key as the loop sees it: keyboard scan code and the extended-key flag.
struct ScanKey {
  uint8_t scanCode = 0;
  bool extended = false;
  bool operator==(const ScanKey&) const = default;
};

// Keys of the grey block beyond those the loop acts on, and Escape.
inline constexpr uint8_t kScanHome = 0x47;
inline constexpr uint8_t kScanPageUp = 0x49;
inline constexpr uint8_t kScanEscape = 0x01;

// Turns the bytes a terminal sends (raw mode) into keys: the escape sequences of the cursor
// and editing keys and of F2 (xterm, VT220 and linux console forms), and "q", "Q" or Ctrl-C
// as End.
// Other bytes are dropped. A sequence split across reads is kept until it completes.
class TerminalKeyDecoder {
 public:
  void Feed(const char* bytes, size_t count, std::vector<ScanKey>& keys);
  // A lone Escape with nothing after it for a while is the Escape key itself.
  void Flush(std::vector<ScanKey>& keys);
  bool Pending() const { return !pending_.empty(); }

 private:
  void Decode(std::vector<ScanKey>& keys);
  std::string pending_;
};

}  // namespace velunda

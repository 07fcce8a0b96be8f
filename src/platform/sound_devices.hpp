#pragma once
#include <string>
#include <vector>

namespace velunda {

// A sound device as the system names it, for --cartes.
struct SoundDevice {
  std::string Name;         // what --carte takes: "default", "hw:CARD=PCH,DEV=0", ...
  std::string Description;  // one or more lines
  bool Capture = false;
  bool Playback = false;
};

// What --cartes prints: the server's `default` first, then the others in the order given, each
// with its directions and its description indented beneath it.
std::string DeviceListing(const std::vector<SoundDevice>& devices);

// Why a device refused to open, in French, from its errno; `rate` (0: none) names the rate
// refused.
std::string DeviceFailureReason(int err, unsigned rate);

}  // namespace velunda

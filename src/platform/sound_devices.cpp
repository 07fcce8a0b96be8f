#include "platform/sound_devices.hpp"

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "platform/errno_text.hpp"

namespace velunda {

std::string DeviceListing(const std::vector<SoundDevice>& devices) {
  std::vector<SoundDevice> ordered = devices;
  std::stable_partition(ordered.begin(), ordered.end(),
                        [](const SoundDevice& d) { return d.Name == "default"; });
  std::ostringstream out;
  if (ordered.empty()) {
    out << "Aucun périphérique de capture ou de lecture trouvé.\n";
  }
  for (const SoundDevice& d : ordered) {
    const char* directions = d.Capture && d.Playback ? "capture et lecture"
                             : d.Capture             ? "capture"
                                                     : "lecture";
    out << d.Name << " (" << directions << ")\n";
    std::istringstream lines(d.Description);
    for (std::string line; std::getline(lines, line);) {
      out << "    " << line << '\n';
    }
  }
  return out.str();
}

std::string DeviceFailureReason(int err, unsigned rate) {
  switch (err) {
    case EBUSY:
      return "occupé";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "périphérique inexistant";
    case EACCES:
    case EPERM:
      return "permission refusée";
    case EINVAL:
      return "fréquence non prise en charge" +
             (rate != 0 ? " (" + std::to_string(rate) + " Hz)" : std::string());
    default:
      return ErrnoText(err);
  }
}

}  // namespace velunda
